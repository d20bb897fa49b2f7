#pragma once

#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/SerialPort.h"

namespace quorvel {

// A receiver's serial line served as a raw TCP port by a serial device server (or ser2net):
// the serial port seam over a TCP connection. The device server sets the line, so the settings are
// taken and ignored, and the COM number names nothing. Open starts connecting and does not
// wait: a refused or reset connection, an unknown host or one that never answers then shows
// as a silent port, and ErrorReason names why. A connection lost once made is a device failure.
//
// Each open makes one connection attempt to each address of the host, no more. The port works
// its own socket rather than Qt's: Qt's, told of a connection reset while it was being made,
// silently makes a new one at its next wakeup, again and again; and with thousands of
// receivers, Qt's size query and copies around every read were a good part of the lab's CPU.
// Here each readiness is one recv into a buffer shared by all ports (one event thread).
class TcpPort : public QObject, public SerialPort {
    Q_OBJECT

  public:
    TcpPort(std::string host, std::uint16_t port, QObject* parent = nullptr);
    ~TcpPort() override;

    void SetEventHandler(std::function<void(std::int16_t)> handler);

    bool SetCommPort(std::int16_t number) override;
    bool SetSettings(const std::string& settings) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override;
    void DiscardInput() override;
    std::string Input() override;
    bool Output(const std::string& text) override;
    // The system's words for what failed ("Connection refused", "Connection reset by peer",
    // "Host not found", "The remote host closed the connection"); while the connection is still
    // being made, that it timed out, and once made, that nothing came: it is asked only when
    // the probe has given up on it.
    std::string ErrorReason() const override;

  private:
    void Notify(std::int16_t code);
    void OnLookedUp(const QHostInfo& info);
    // Tries the addresses not tried yet, in turn, until one is connecting.
    void ConnectNext();
    void OnConnectDone();
    void OnReadable();
    void OnWritable();
    // The connection is lost: says why, and tells it once the event loop is back, unless the
    // port was closed meanwhile.
    void Lose(std::string why);
    // Ends the lookup, the connection being made and the connection.
    void Drop();

    QString host_;
    std::uint16_t port_;
    std::function<void(std::int16_t)> handler_;
    bool open_ = false;
    bool connected_ = false;  // the connection was made and is not known lost
    bool lost_ = false;       // lost while open; the notification is on its way
    bool received_ = false;   // something came on this connection
    std::string errorReason_;
    int lookup_ = -1;         // the host name lookup under way
    QList<QHostAddress> addresses_;  // the host's addresses not tried yet
    int connecting_ = -1;     // the socket whose connection is being made
    std::unique_ptr<QSocketNotifier> connectDone_;
    int socket_ = -1;         // the connection made
    std::unique_ptr<QSocketNotifier> readable_, writable_;
    std::string inbox_;   // read, not yet taken by Input
    std::string unsent_;          // given to Output, not yet taken by the kernel
};

}  // namespace quorvel

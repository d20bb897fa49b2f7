#pragma once

#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/SerialPort.h"

namespace quorvel {

// A receiver's serial line served as a raw TCP port by a serial device server (or ser2net):
// the serial port seam over QTcpSocket. The device server sets the line, so the settings are
// taken and ignored, and the COM number names nothing. Open starts connecting and does not
// wait: a refused connection, an unknown host or one that never answers then shows as a
// silent port, and ErrorReason names why. A connection lost once made is a device failure.
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
    // Qt's words for what failed ("Connection refused", "Host not found", "The remote host
    // closed the connection"); while the connection is still being made, that it timed out,
    // since it is asked only when the probe has given up on it.
    std::string ErrorReason() const override;

  private:
    void Notify(std::int16_t code);
    void OnError();

    QString host_;
    std::uint16_t port_;
    std::function<void(std::int16_t)> handler_;
    bool open_ = false;
    bool connected_ = false;  // the connection was made and is not known lost
    bool lost_ = false;       // lost while open; the notification is on its way
    std::string errorReason_;
    QTcpSocket socket_;
};

}  // namespace quorvel

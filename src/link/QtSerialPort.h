#pragma once

#include <QObject>
#include <QSerialPort>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/SerialPort.h"

namespace quorvel {

// The serial port over QSerialPort. COM numbers name devices through ComDevicePath; every
// notification goes to one handler as an event code (comm_event). Qt 6 reports no framing,
// parity or break errors, so no line-error codes are ever raised.
class QtSerialPort : public QObject, public SerialPort {
    Q_OBJECT

  public:
    // Names the device that COM `number` opens; empty when it names none.
    using DeviceResolver = std::function<std::string(int number)>;

    // Without a resolver, COM numbers map through ComDevicePath and `portsFolder`.
    explicit QtSerialPort(std::string portsFolder, QObject* parent = nullptr,
                          DeviceResolver resolver = {});
    ~QtSerialPort() override;

    void SetEventHandler(std::function<void(std::int16_t)> handler);

    bool SetCommPort(std::int16_t number) override;
    bool SetSettings(const std::string& settings) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override;
    void DiscardInput() override;
    std::string Input() override;
    bool Output(const std::string& text) override;
    std::string ErrorReason() const override { return errorReason_; }

    std::int16_t CommPort() const { return commPort_; }
    // The device the last open resolved the port to (each open resolves it again); empty
    // before any open, or when the port named none.
    std::string DeviceName() const override { return lastDevice_; }
    // Device failures (read, write, resource errors) seen while open; each closes the port and
    // then, once the current handler has returned, notifies comm_event::kDeviceFailure once.
    int DeviceErrorCount() const { return deviceErrors_; }

  private:
    struct LineSettings {
        qint32 baudRate = 9600;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };

    void Notify(std::int16_t code);
    void OnError(QSerialPort::SerialPortError error);
    void RaiseModemLines();

    std::string DevicePath(std::int16_t number) const;

    std::string portsFolder_;
    DeviceResolver resolver_;
    std::int16_t commPort_ = 1;
    LineSettings settings_;
    std::function<void(std::int16_t)> handler_;
    int deviceErrors_ = 0;
    std::string errorReason_;
    std::string lastDevice_;
    QSerialPort port_;
};

}  // namespace quorvel

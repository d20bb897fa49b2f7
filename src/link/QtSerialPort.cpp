#include "link/QtSerialPort.h"

#include <QByteArray>
#include <QString>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "link/ComPorts.h"

#ifndef _WIN32
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

bool ParseRate(const std::string& field, qint32& rate) {
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, rate);
    return !field.empty() && ec == std::errc() && ptr == end && rate > 0;
}

bool ParseParity(const std::string& field, QSerialPort::Parity& parity) {
    static constexpr std::pair<char, QSerialPort::Parity> kLetters[] = {
        {'n', QSerialPort::NoParity},    {'e', QSerialPort::EvenParity},
        {'o', QSerialPort::OddParity},   {'m', QSerialPort::MarkParity},
        {'s', QSerialPort::SpaceParity},
    };
    if (field.size() != 1) return false;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(field[0])));
    for (const auto& [candidate, value] : kLetters) {
        if (letter == candidate) {
            parity = value;
            return true;
        }
    }
    return false;
}

bool ParseDataBits(const std::string& field, QSerialPort::DataBits& bits) {
    if (field.size() != 1 || field[0] < '5' || field[0] > '8') return false;
    bits = static_cast<QSerialPort::DataBits>(field[0] - '0');
    return true;
}

bool ParseStopBits(const std::string& field, QSerialPort::StopBits& bits) {
    static constexpr std::pair<std::string_view, QSerialPort::StopBits> kTexts[] = {
        {"1", QSerialPort::OneStop},
        {"1.5", QSerialPort::OneAndHalfStop},
        {"2", QSerialPort::TwoStop},
    };
    for (const auto& [text, value] : kTexts) {
        if (field == text) {
            bits = value;
            return true;
        }
    }
    return false;
}

bool IsDeviceFailure(QSerialPort::SerialPortError error) {
    // A vanished device shows as any of these; a write that fails after open means the same.
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
           error == QSerialPort::WriteError;
}

// Why Qt refused to open `device`, in the system's words rather than Qt's.
std::string RefusalReason([[maybe_unused]] const std::string& device,
                          [[maybe_unused]] QSerialPort::SerialPortError error,
                          const QString& qtText) {
#ifndef _WIN32
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) return std::strerror(errno);
    if (error == QSerialPort::PermissionError) {
        if (::access(device.c_str(), R_OK | W_OK) != 0) {
            const std::string hint = AccessHint(device);
            return std::strerror(EACCES) + (hint.empty() ? "" : ": " + hint);
        }
        // Allowed, yet refused: another program holds the device, through Qt's lock file or
        // the kernel's exclusive open.
        return std::strerror(EBUSY) + std::string(": another program holds it");
    }
    if (error == QSerialPort::DeviceNotFoundError) return std::strerror(ENODEV);
#endif
    return qtText.toStdString();
}

// Why an open port failed. A device that vanished or whose other end closed reads as an end of
// file, which sets no errno: Qt's text then names whatever call failed before. The hang-up
// itself shows in a poll; any other failure came with an errno, which Qt's text gives.
std::string FailureReason(QSerialPort& port) {
#ifndef _WIN32
    pollfd hangUp{static_cast<int>(port.handle()), POLLIN, 0};
    if (::poll(&hangUp, 1, 0) == 1 && (hangUp.revents & POLLHUP) != 0) return "device hung up";
#endif
    return port.errorString().toStdString();
}

}  // namespace

QtSerialPort::QtSerialPort(std::string portsFolder, QObject* parent, DeviceResolver resolver)
    : QObject(parent), portsFolder_(std::move(portsFolder)), resolver_(std::move(resolver)) {
    connect(&port_, &QSerialPort::readyRead, this, [this] { Notify(comm_event::kReceive); });
    connect(&port_, &QSerialPort::bytesWritten, this, [this] { Notify(comm_event::kSend); });
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnError);
}

QtSerialPort::~QtSerialPort() {
    port_.disconnect(this);
    port_.close();
}

void QtSerialPort::SetEventHandler(std::function<void(std::int16_t)> handler) {
    handler_ = std::move(handler);
}

bool QtSerialPort::SetCommPort(std::int16_t number) {
    if (port_.isOpen() || DevicePath(number).empty()) return false;
    commPort_ = number;
    return true;
}

bool QtSerialPort::SetSettings(const std::string& settings) {
    const std::vector<std::string> fields = SplitFields(settings);
    LineSettings parsed;
    if (fields.size() != 4 || !ParseRate(fields[0], parsed.baudRate) ||
        !ParseParity(fields[1], parsed.parity) || !ParseDataBits(fields[2], parsed.dataBits) ||
        !ParseStopBits(fields[3], parsed.stopBits)) {
        return false;
    }
    settings_ = parsed;
    return true;
}

bool QtSerialPort::Open() {
    if (port_.isOpen()) return false;
    // Resolved now, not at SetCommPort: an override link may have appeared in between.
    std::string device = lastDevice_ = DevicePath(commPort_);
    if (device.empty()) return false;
    // Qt names its lock file after the whole path, which fails beyond a file name's length (a
    // long /dev/serial/by-id link); the device itself has a short name, and other names of it
    // then share its lock.
    std::error_code ec;
    if (const auto real = std::filesystem::canonical(device, ec); !ec) device = real.string();
    port_.setPortName(QString::fromStdString(device));
    // Set before open, Qt applies these while opening and refuses the open if one fails.
    port_.setBaudRate(settings_.baudRate);
    port_.setParity(settings_.parity);
    port_.setDataBits(settings_.dataBits);
    port_.setStopBits(settings_.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        errorReason_ = RefusalReason(device, port_.error(), port_.errorString());
        return false;
    }
    errorReason_.clear();
    RaiseModemLines();
    return true;
}

std::string QtSerialPort::DevicePath(std::int16_t number) const {
    return resolver_ ? resolver_(number) : ComDevicePath(number, portsFolder_);
}

void QtSerialPort::RaiseModemLines() {
    // Receivers powered from DTR/RTS need them up. A pty has no modem lines and refuses both;
    // that costs nothing, so the results are ignored.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
}

void QtSerialPort::Close() { port_.close(); }

bool QtSerialPort::IsOpen() const { return port_.isOpen(); }

void QtSerialPort::DiscardInput() {
    if (!port_.isOpen()) return;
    port_.clear(QSerialPort::Input);
    port_.readAll();  // what Qt had already read from the driver
}

std::string QtSerialPort::Input() {
    if (!port_.isOpen()) return {};
    const QByteArray bytes = port_.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool QtSerialPort::Output(const std::string& text) {
    if (!port_.isOpen()) return false;
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    return port_.write(bytes) == bytes.size();
}

void QtSerialPort::Notify(std::int16_t code) {
    if (handler_) handler_(code);
}

void QtSerialPort::OnError(QSerialPort::SerialPortError error) {
    if (!IsDeviceFailure(error) || !port_.isOpen()) return;
    ++deviceErrors_;
    errorReason_ = FailureReason(port_);
    // Qt repeats the error in a tight loop while the port stays open; closing here, in the
    // slot, ends it, so one failure makes one notification. It is posted: a handler that opens
    // the port again must not do so inside Qt's own error path.
    port_.close();
    QMetaObject::invokeMethod(
        this, [this] { Notify(comm_event::kDeviceFailure); }, Qt::QueuedConnection);
}

}  // namespace quorvel

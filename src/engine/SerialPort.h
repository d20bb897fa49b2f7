#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Notification kinds handed to HandlePortEvent. Only kReceive is acted on.
namespace comm_event {
constexpr std::int16_t kSend = 1;
constexpr std::int16_t kReceive = 2;
constexpr std::int16_t kCts = 3;
constexpr std::int16_t kDsr = 4;
constexpr std::int16_t kCd = 5;
constexpr std::int16_t kRing = 6;
constexpr std::int16_t kEof = 7;
// Line errors: reported, never acted on.
constexpr std::int16_t kBreak = 1001;
constexpr std::int16_t kFrame = 1004;
constexpr std::int16_t kOverrun = 1006;
constexpr std::int16_t kRxOver = 1008;
constexpr std::int16_t kRxParity = 1009;
// The device failed while open (removed, I/O error); the port has been closed. The window's
// cycle ignores it, as it ignores every kind but kReceive; a front end may act on it.
constexpr std::int16_t kDeviceFailure = 1010;
}  // namespace comm_event

// The serial port as the logic uses it. Text is Latin-1, one char per byte.
// A refused operation returns false and leaves the port as the refusal found it.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Selects the port for the next open; refused while open or for a number without a port.
    virtual bool SetCommPort(std::int16_t number) = 0;
    // Line settings for the next open, as "9600,n,8,1".
    virtual bool SetSettings(const std::string& settings) = 0;
    // Refused when the port does not exist, is held elsewhere or is open already.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Throws away every received byte not yet read.
    virtual void DiscardInput() = 0;
    // Everything received since the previous read; may be empty.
    virtual std::string Input() = 0;
    // Sends the whole text in one write.
    virtual bool Output(const std::string& text) = 0;
    // The system's reason for the last refused open or device failure, such as "No such file
    // or directory"; empty when none is known.
    virtual std::string ErrorReason() const { return {}; }
    // The device the last open used, when the port resolves one at each open; else empty.
    virtual std::string DeviceName() const { return {}; }
};

}  // namespace quorvel

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel::texts {

// What the operator sees, exactly as the system shows it.
inline constexpr std::string_view kCrLf = "\r\n";
inline constexpr std::string_view kColdStartOrder = "$PXEMSRT,C*3A\r\n";
inline constexpr std::string_view kWaiting = "Please waiting.....";
inline constexpr std::string_view kUtcTime = "UTC Time :";
inline constexpr std::string_view kColdStartOk = "Cold Start OK!";
inline constexpr std::string_view kStopAndShutDown =
    "Please stop the program then shut down the GPS now!";
inline constexpr std::string_view kColdStartAgain = "It will Cold Start again!";
inline constexpr std::string_view kSecondsSuffix = "(S)";
inline constexpr std::string_view kBaudMismatch = "Baud Rate not match!";
inline constexpr std::string_view kColdStarting = "Cold Starting.....";
inline constexpr std::string_view kSecSuffix = "(Sec)";
inline constexpr std::string_view kColdStartFail = "Cold Start fail!";
inline constexpr std::string_view kColdStartFail1 = "Cold Start fail!(1)";
inline constexpr std::string_view kNoRespond = "GPS no respond.";
inline constexpr std::string_view kShutDown = "GPS be shuted down.";
inline constexpr std::string_view kConnected = "Connected!";
inline constexpr std::string_view kNotConnected = "Not connected!";
inline constexpr std::string_view kConnecting = "Connecting.....";
inline constexpr std::string_view kCantConnect = "Can't connect!";
inline constexpr std::string_view kPortError = "  error!";
inline constexpr std::string_view kSelectAnotherPort = "Please select another Com Port.";

// A number inside a status text: one blank before 0 or more, a minus sign before a negative.
inline std::string SignedCount(std::int32_t value) {
    std::string text = value >= 0 ? " " : "";
    text += std::to_string(value);
    return text;
}

}  // namespace quorvel::texts

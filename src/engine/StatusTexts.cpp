#include "engine/StatusTexts.h"

#include "engine/Texts.h"

namespace quorvel::texts {

std::string TimeText(const GgaTime& time) {
    return std::string(kUtcTime) + time.hh + ":" + time.mm + ":" + time.ss + std::string(kCrLf);
}

std::string ConfirmationText(const GgaTime& time) {
    return TimeText(time) + std::string(kColdStartOk);
}

std::string Phase2Text(std::int16_t restartCountdown) {
    std::string text(kColdStartOk);
    text += kCrLf;
    text += kStopAndShutDown;
    text += kCrLf;
    text += kColdStartAgain;
    text += SignedCount(restartCountdown);
    text += kSecondsSuffix;
    return text;
}

std::string CountText(std::int16_t coldStartSeconds) {
    return std::string(kColdStarting) + SignedCount(coldStartSeconds) + std::string(kSecSuffix);
}

std::string NoRespondText() {
    return std::string(kColdStartFail1) + std::string(kCrLf) + std::string(kNoRespond);
}

}  // namespace quorvel::texts

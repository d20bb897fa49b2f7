#pragma once

#include <cstdint>
#include <string>

#include "engine/Gga.h"

namespace quorvel::texts {

// The status texts that are put together from parts; the parts live in Texts.h.
std::string TimeText(const GgaTime& time);
std::string ConfirmationText(const GgaTime& time);
std::string Phase2Text(std::int16_t restartCountdown);
std::string CountText(std::int16_t coldStartSeconds);
std::string NoRespondText();

}  // namespace quorvel::texts

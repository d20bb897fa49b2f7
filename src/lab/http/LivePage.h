#pragma once

#include <string>

namespace quorvel::lab {

// Seconds between two fetches of the served page.
inline constexpr int kLiveEveryS = 3;

// The report page as --http serves it: with a script before </body> that fetches the page again
// every kLiveEveryS seconds and swaps its content in place, charts redrawn, without a reload
// (the scroll position and the reader's place stay); a failed fetch is said at the top.
std::string LivePage(std::string page);

}  // namespace quorvel::lab

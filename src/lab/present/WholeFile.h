#pragma once

#include <string>

namespace quorvel::lab {

// Writes `text` to a file beside `path` and renames it over `path`: a reader never sees half a
// file, and a failed write leaves the last whole one. The file keeps the permissions of the one
// it replaces. False with the system's reason in `reason`.
bool WriteWhole(const std::string& path, const std::string& text, std::string& reason);
// Whether WriteWhole can make its file beside `path`, which is no folder: one is made and
// removed. False with the system's reason in `reason`.
bool CanWriteWhole(const std::string& path, std::string& reason);

}  // namespace quorvel::lab

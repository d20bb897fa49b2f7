#pragma once

#include <cstddef>
#include <string>

#include "lab/command/LabOptions.h"

namespace quorvel::lab {

// Descriptors the lab keeps beside its ports: standard streams, its event loop, the signal
// pipe, host lookups, the report's temporary file.
inline constexpr std::size_t kOwnFiles = 32;

// The files a run needs open at once: each port, the journal, the report, and the lab's own.
std::size_t FilesNeeded(const LabOptions& options);

// Raises the soft open-files limit (RLIMIT_NOFILE) to the hard one. The line to say when
// `needed` is still more than it allows, or empty.
std::string RaiseOpenFilesLimit(std::size_t needed);

}  // namespace quorvel::lab

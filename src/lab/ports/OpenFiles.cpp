#include "lab/ports/OpenFiles.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>

namespace quorvel::lab {

std::size_t FilesNeeded(const LabOptions& options) {
    return options.ports.size() + 1 + (options.report.empty() ? 0 : 1) + kOwnFiles;
}

std::string RaiseOpenFilesLimit(std::size_t needed) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::string("quorvel-lab: cannot read the open-files limit: ") +
               std::strerror(errno);
    if (limit.rlim_cur != limit.rlim_max) {
        const rlim_t soft = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = soft;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return {};
    return "quorvel-lab: the open-files limit is " + std::to_string(limit.rlim_cur) +
           (limit.rlim_cur == limit.rlim_max ? " (the hard limit)" : "") + ", and this run needs " +
           std::to_string(needed) + " (each port, the journal, the report and " +
           std::to_string(kOwnFiles) +
           " of the lab's own): ports past the limit cannot connect (Too many open files); "
           "raise the hard limit (ulimit -Hn, LimitNOFILE= in a systemd unit, nofile in "
           "/etc/security/limits.conf)";
}

}  // namespace quorvel::lab

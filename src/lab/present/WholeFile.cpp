#include "lab/present/WholeFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quorvel::lab {
namespace {

// A new hidden file in the folder of `path`, its name in `temporary`; -1 with errno when none.
int MakeBeside(const std::string& path, std::string& temporary) {
    const auto slash = path.rfind('/');
    temporary = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
    return ::mkstemp(temporary.data());
}

}  // namespace

bool WriteWhole(const std::string& path, const std::string& text, std::string& reason) {
    std::string temporary;
    const int fd = MakeBeside(path, temporary);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat old {};
    mode_t mode = 0644;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    reason.clear();
    if (::fchmod(fd, mode) != 0) reason = std::strerror(errno);
    for (std::size_t done = 0; reason.empty() && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            reason = n < 0 ? std::strerror(errno) : "nothing was written";
        else
            done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty() && ::rename(temporary.c_str(), path.c_str()) != 0)
        reason = std::strerror(errno);
    if (reason.empty()) return true;
    ::unlink(temporary.c_str());
    return false;
}

bool CanWriteWhole(const std::string& path, std::string& reason) {
    struct stat st {};
    std::string temporary;
    int fd = -1;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        errno = EISDIR;
    else
        fd = MakeBeside(path, temporary);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    ::close(fd);
    ::unlink(temporary.c_str());
    return true;
}

}  // namespace quorvel::lab

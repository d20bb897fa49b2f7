#include "sim/PortLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quorvel::sim {
namespace {

bool MakeFolders(const std::string& dir, std::string& message) {
    for (std::size_t at = 1; at <= dir.size(); ++at) {
        if (at != dir.size() && dir[at] != '/') continue;
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
            message = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        message = dir + " is not a folder";
        return false;
    }
    return true;
}

std::string LinkTarget(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::string DefaultPortsDir() {
#ifdef __APPLE__
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/Library/Preferences/quorvel/ports";
#else
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/quorvel/ports";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/quorvel/ports";
#endif
}

PortLink::Result PortLink::Make(const std::string& dir, int com, const std::string& device,
                                std::string& message) {
    if (!MakeFolders(dir, message)) return Result::Failed;
    const std::string path = dir + "/com" + std::to_string(com);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            message = path + " exists and is not a link; not touching it";
            return Result::InTheWay;
        }
        message = "replaced the old link " + path + " -> " + LinkTarget(path);
        ::unlink(path.c_str());
    }
    if (::symlink(device.c_str(), path.c_str()) != 0) {
        message = "cannot link " + path + ": " + std::strerror(errno);
        return Result::Failed;
    }
    path_ = path;
    device_ = device;
    return Result::Made;
}

void PortLink::Remove() {
    if (path_.empty()) return;
    if (LinkTarget(path_) == device_) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace quorvel::sim

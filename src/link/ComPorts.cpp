#include "link/ComPorts.h"

#include <QDir>
#include <QStandardPaths>
#include <array>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace fs = std::filesystem;

namespace {

bool InRange(int number) { return number >= kLowestComNumber && number <= kHighestComNumber; }

#ifndef _WIN32

struct TableRow {
    int first;  // first COM number of the block
    const char* prefix;
};

// Blocks of 32 device indices each; the last block stops at kHighestComNumber.
constexpr std::array<TableRow, 4> kTable{{
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
    {97, "/dev/ttyAMA"},
}};

std::string TablePath(int number) {
    for (auto row = kTable.rbegin(); row != kTable.rend(); ++row) {
        if (number >= row->first) return row->prefix + std::to_string(number - row->first);
    }
    return {};
}

fs::path OverrideLink(int number, const std::string& portsFolder) {
    if (portsFolder.empty()) return {};
    return fs::path(portsFolder) / ("com" + std::to_string(number));
}

bool IsLink(const fs::path& link) {
    std::error_code ec;
    return !link.empty() && fs::is_symlink(fs::symlink_status(link, ec));
}

// The device behind the link: fully resolved when it exists (a by-id link names the same
// device, and lock file, as the plain node), else the link's own target made absolute.
std::string ResolveLink(const fs::path& link) {
    std::error_code ec;
    fs::path device = fs::canonical(link, ec);
    if (!ec) return device.string();
    fs::path target = fs::read_symlink(link, ec);
    if (ec) return {};
    if (target.is_relative()) target = link.parent_path() / target;
    return target.lexically_normal().string();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

// A port is a character device; the kernel's memory devices (major 1: /dev/null, /dev/zero,
// /dev/full, /dev/random, /dev/urandom) are character devices no receiver is ever on.
std::string Kind(const struct stat& info) {
    if (S_ISCHR(info.st_mode)) return major(info.st_rdev) == 1 ? "a memory device" : "";
    if (S_ISDIR(info.st_mode)) return "a directory";
    if (S_ISREG(info.st_mode)) return "a regular file";
    if (S_ISBLK(info.st_mode)) return "a block device";
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return "no device";
}

// "present" alone would send the operator hunting for a fault when only the permission is
// missing; name the group that would grant it when the device's group may read and write.
std::string Presence(const std::string& path) {
    if (!Exists(path)) return " (not present)";
    if (const std::string kind = NotASerialDevice(path); !kind.empty())
        return " (not a serial device: " + kind + ")";
    if (::access(path.c_str(), R_OK | W_OK) == 0) return " (present)";
    const std::string hint = AccessHint(path);
    return hint.empty() ? " (present, no access)" : " (present, no access: " + hint + ")";
}

// Shortens the home folder to "~" so the tooltip stays one short line.
std::string ShortenHome(const std::string& path) {
    const std::string home = QDir::homePath().toStdString();
    if (home.size() > 1 && path.compare(0, home.size(), home) == 0 &&
        (path.size() == home.size() || path[home.size()] == '/')) {
        std::string shortened = "~";
        shortened += path.substr(home.size());
        return shortened;
    }
    return path;
}

#endif

}  // namespace

std::string ComDevicePath(int number, [[maybe_unused]] const std::string& portsFolder) {
    if (!InRange(number)) return {};
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    const fs::path link = OverrideLink(number, portsFolder);
    if (IsLink(link)) return ResolveLink(link);
    return TablePath(number);
#endif
}

std::string ComOverrideLink(int number, [[maybe_unused]] const std::string& portsFolder) {
#ifndef _WIN32
    if (const fs::path link = OverrideLink(number, portsFolder); InRange(number) && IsLink(link))
        return link.string();
#endif
    return {};
}

std::string NotASerialDevice([[maybe_unused]] const std::string& path) {
#ifndef _WIN32
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return Kind(info);
#endif
    return {};
}

std::string AccessHint([[maybe_unused]] const std::string& device) {
#ifndef _WIN32
    if (::access(device.c_str(), R_OK | W_OK) == 0) return {};
    struct stat info {};
    const group* owner = ::stat(device.c_str(), &info) == 0 ? ::getgrgid(info.st_gid) : nullptr;
    if (owner != nullptr && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        return std::string("join the ") + owner->gr_name + " group";
#endif
    return {};
}

std::string DefaultPortsFolder() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return (config + QStringLiteral("/quorvel/ports")).toStdString();
}

std::string ComToolTip(int number, [[maybe_unused]] const std::string& portsFolder) {
    if (!InRange(number)) return "no port";
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    const fs::path link = OverrideLink(number, portsFolder);
    if (IsLink(link)) {
        const std::string device = ResolveLink(link);
        return ShortenHome(link.lexically_normal().string()) + " -> " + device + Presence(device);
    }
    const std::string device = TablePath(number);
    return device + Presence(device);
#endif
}

}  // namespace quorvel

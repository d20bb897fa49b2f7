#include "lab/ports/PortFactory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

#include "lab/record/Journal.h"
#include "link/ComPorts.h"
#include "link/QtSerialPort.h"
#include "link/TcpPort.h"

namespace quorvel::lab {

std::string NetAddress::Text() const {
    std::string name = host;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.find(':') != std::string::npos) name = "[" + name + "]";
    return kTcpScheme + name + ":" + std::to_string(port);
}

std::optional<NetAddress> TcpAddress(const std::string& text) {
    const std::string scheme = kTcpScheme;
    const auto colon = text.rfind(':');
    if (text.compare(0, scheme.size(), scheme) != 0 || colon < scheme.size()) return {};
    std::string host = text.substr(scheme.size(), colon - scheme.size());
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find_first_of("[]:") != std::string::npos)
        return {};
    if (host.empty() || host.find_first_of("[]/@ ") != std::string::npos) return {};
    int port = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data() + colon + 1, end, port);
    if (ec != std::errc() || ptr != end || colon + 1 == text.size() || port < 1 || port > 65535)
        return {};
    return NetAddress{host, static_cast<std::uint16_t>(port)};
}

std::unique_ptr<SerialPort> MakePort(const PortSpec& port, const std::string& portsFolder,
                                     std::function<void(std::int16_t)> handler) {
    if (const auto address = TcpAddress(port.device)) {
        auto tcp = std::make_unique<TcpPort>(address->host, address->port);
        tcp->SetEventHandler(std::move(handler));
        return tcp;
    }
    auto serial = std::make_unique<QtSerialPort>(
        portsFolder, nullptr, [port, portsFolder](int) { return PortDevice(port, portsFolder); });
    serial->SetEventHandler(std::move(handler));
    return serial;
}

std::string PortDevice(const PortSpec& port, const std::string& portsFolder) {
    return port.com ? ComDevicePath(port.com, portsFolder) : port.device;
}

std::string PortListText(const std::string& portsFolder, std::string& error) {
    // A folder that is there but cannot be read would hide its links: say so rather than
    // list the fixed table as if it had none.
    if (DIR* folder = ::opendir(portsFolder.c_str())) {
        ::closedir(folder);
    } else if (errno != ENOENT) {
        error = "cannot read the override folder " + EscapeControls(portsFolder) + ": " +
                std::strerror(errno);
    }
    std::string text;
    for (int n = kLowestComNumber; n <= kHighestComNumber; ++n) {
        const std::string link = portsFolder + "/com" + std::to_string(n);
        struct stat info {};
        if (error.empty() && ::lstat(link.c_str(), &info) != 0 && errno != ENOENT)
            error = "cannot read the override link " + EscapeControls(link) + ": " +
                    std::strerror(errno);
        const std::string device = ComDevicePath(n, portsFolder);
        if (ComOverrideLink(n, portsFolder).empty() &&
            (::stat(device.c_str(), &info) != 0 || !NotASerialDevice(device).empty()))
            continue;
        std::string number = std::to_string(n);
        number.resize(std::max<std::size_t>(number.size(), 3), ' ');
        // A link's target may hold any byte: one entry stays one line.
        text += "COM " + number + " " + EscapeControls(ComToolTip(n, portsFolder)) + "\n";
    }
    return text.empty() ? "No COM number has an override link in " + EscapeControls(portsFolder) +
                              " or a present device.\n"
                        : text;
}

}  // namespace quorvel::lab

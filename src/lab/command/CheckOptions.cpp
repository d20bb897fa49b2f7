#include <arpa/inet.h>
#include <netdb.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "lab/command/Options.h"
#include "lab/ports/PortFactory.h"
#include "link/ComPorts.h"

namespace quorvel::lab {
namespace {

// What a path names as the system sees it: the device a node stands for, the file that exists,
// or, for one not made yet, its folder resolved plus its name (a dangling link followed first).
std::string Identity(const std::string& path) {
    namespace fs = std::filesystem;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode)) return "device " + std::to_string(info.st_rdev);
        return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path target = fs::read_symlink(p, ec);
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return "path " + (fs::weakly_canonical(p.parent_path(), ec) / p.filename()).string();
}

// How long the start waits for the system's resolver to name a server's addresses.
constexpr int kResolveS = 3;

// The addresses a network port's host names now, as text: a literal as the system reads it
// ("127.1", "0:0::1", an IPv4 address mapped into IPv6), a name through the system's resolver.
// Nothing when it names none or the resolver does not answer in time: the run then says why.
std::set<std::string> ServerAddresses(const std::string& host) {
    char text[INET6_ADDRSTRLEN];
    in_addr v4{};
    in6_addr v6{};
    if (::inet_aton(host.c_str(), &v4) != 0) return {::inet_ntop(AF_INET, &v4, text, sizeof text)};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            std::memcpy(&v4, &v6.s6_addr[12], sizeof v4);
            return {::inet_ntop(AF_INET, &v4, text, sizeof text)};
        }
        return {::inet_ntop(AF_INET6, &v6, text, sizeof text)};
    }
    // A resolver that does not answer is given up, not waited for; its request may then
    // still be answered later, so what it writes into is never freed.
    static const addrinfo kHints = [] {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        return hints;
    }();
    auto* request = new gaicb{};
    request->ar_name = ::strdup(host.c_str());
    request->ar_request = &kHints;
    gaicb* requests[] = {request};
    if (::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) return {};
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += kResolveS;
    for (timespec now{}; ::gai_error(request) == EAI_INPROGRESS;) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) left = {left.tv_sec - 1, left.tv_nsec + 1'000'000'000};
        if (left.tv_sec < 0) break;
        const gaicb* waited[] = {request};
        ::gai_suspend(waited, 1, &left);  // a signal only cuts a wait short
    }
    if (::gai_error(request) == EAI_INPROGRESS && ::gai_cancel(request) != EAI_CANCELED) return {};
    std::set<std::string> addresses;
    for (const addrinfo* a = ::gai_error(request) == 0 ? request->ar_result : nullptr; a;
         a = a->ai_next) {
        const void* bytes =
            a->ai_family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr)
                : &reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr;
        if (::inet_ntop(a->ai_family, bytes, text, sizeof text)) addresses.insert(text);
    }
    if (request->ar_result) ::freeaddrinfo(request->ar_result);
    std::free(const_cast<char*>(request->ar_name));
    delete request;
    return addresses;
}

// Two network ports that are one server under two names ("127.0.0.1" and "localhost", a name
// with and without its trailing dot) and one port: an error line, or empty. Hosts are
// resolved only when another port has the same port number.
std::string OneServerTwice(const std::vector<PortSpec>& ports) {
    std::vector<std::pair<const PortSpec*, NetAddress>> servers;
    for (const PortSpec& port : ports)
        if (const auto address = TcpAddress(port.device)) servers.emplace_back(&port, *address);
    std::map<std::size_t, std::set<std::string>> resolved;
    auto named = [&](std::size_t i) -> const std::set<std::string>& {
        if (!resolved.count(i)) resolved[i] = ServerAddresses(servers[i].second.host);
        return resolved[i];
    };
    auto bare = [](std::string host) {
        if (host.size() > 1 && host.back() == '.') host.pop_back();
        return host;
    };
    // Only servers of one port number are compared: thousands of ports stay cheap.
    std::map<std::uint16_t, std::vector<std::size_t>> byPort;
    for (std::size_t i = 0; i < servers.size(); ++i) {
        std::vector<std::size_t>& samePort = byPort[servers[i].second.port];
        for (const std::size_t j : samePort) {
            const auto& [first, a] = servers[j];
            const auto& [second, b] = servers[i];
            std::string same = bare(a.host) == bare(b.host) ? bare(a.host) : "";
            if (same.empty())
                for (const std::string& address : named(i))
                    if (same.empty() && named(j).count(address)) same = address;
            if (!same.empty())
                return "port named twice: '" + first->name + "' and '" + second->name + "' are " +
                       NetAddress{same, a.port}.Text();
        }
        samePort.push_back(i);
    }
    return {};
}

}  // namespace

std::string CheckLabOptions(const LabOptions& options, const std::string& portsFolder) {
    if (!options.journal.empty() && !options.report.empty() &&
        Identity(options.journal) == Identity(options.report))
        return "--journal and --report name one file: '" + options.journal + "', '" +
               options.report + "'";
    if (std::string twice = OneServerTwice(options.ports); !twice.empty()) return twice;
    std::map<std::string, std::string> seen;
    for (const PortSpec& port : options.ports) {
        if (TcpAddress(port.device)) continue;
        const std::string device = port.com ? ComDevicePath(port.com, portsFolder) : port.device;
        const std::string identity = Identity(device);
        const auto [first, added] = seen.emplace(identity, port.name);
        std::error_code ec;
        const std::string real = std::filesystem::weakly_canonical(device, ec).string();
        if (!added)
            return "port named twice: '" + first->second + "' and '" + port.name + "' are " + real;
        // Rows written down a receiver's serial line would be orders to it, and lost.
        for (const auto& [name, file] :
             {std::pair("--journal", &options.journal), std::pair("--report", &options.report)})
            if (!file->empty() && Identity(*file) == identity)
                return std::string(name) + " names the device of port '" + port.name + "': " + real;
    }
    return {};
}

}  // namespace quorvel::lab

#include "lab/http/Address.h"

#include <QHostAddress>

#include "lab/command/ArgTable.h"

namespace quorvel::lab {

std::optional<HttpAddress> ParseHttpAddress(const std::string& text, std::string& why) {
    HttpAddress address;
    std::string port = text;
    if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        else if (host.find(':') != std::string::npos)
            return why = " (an IPv6 address goes in brackets: [::1]:9100)", std::nullopt;
        if (host == "localhost") host = "127.0.0.1";
        if (QHostAddress ip; !ip.setAddress(QString::fromStdString(host)) || !ip.scopeId().isEmpty())
            return why = " (HOST is an IP address or localhost)", std::nullopt;
        address.host = host;
    }
    const auto number = WholeNumber(port, 0, 65535);
    if (!number || port.starts_with('-'))
        return why = " (PORT is 0 to 65535; 0 takes a free one)", std::nullopt;
    address.port = static_cast<std::uint16_t>(*number);
    return address;
}

}  // namespace quorvel::lab

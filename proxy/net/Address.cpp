// Host name resolution, the same on every platform over the system's
// resolver (posix/ and win32/).
#include "proxy/net/Address.h"

#include <array>
#include <string>

#include "proxy/net/SockAPI.h"
#include "proxy/net/SockPlatform.h"

using sok_platform::Lookup;

namespace {

// The machine's own host name, empty when the system does not tell.
std::string localHostName() {
    constexpr std::size_t nameLimit = 100;
    std::array<char, nameLimit + 1> name{};
    if (!sok_platform::hostName(std::span(name.data(), nameLimit))) {
        return {};
    }
    return name.data();  // the array's last byte stays 0
}

}  // namespace

std::optional<IpAddress> resolveIP(const std::string& host) {
    Sok_trace("getIP: " + host);
    IpAddress address = 0;
    switch (sok_platform::resolveFirst(host, address)) {
        case Lookup::noAnswer:
            Sok_trace(" err!");
            return std::nullopt;
        case Lookup::noList:
            Sok_trace(" err1!");
            return std::nullopt;
        case Lookup::found:
            break;
    }
    Sok_trace(" result: " + std::to_string(address));
    return address;
}

IpAddress getIP(const std::string& host) {
    return resolveIP(host).value_or(0);
}

std::optional<IpAddress> resolveLocalIP() {
    const std::string name = localHostName();
    if (name.empty()) {
        sok_platform::noteError(0, "this machine does not tell its own name", false, true);
        return std::nullopt;
    }
    IpAddress address = 0;
    if (sok_platform::resolveFirst(name, address) != Lookup::found) {
        return std::nullopt;
    }
    return address;
}

IpAddress getLocalIP() {
    return resolveLocalIP().value_or(0);
}

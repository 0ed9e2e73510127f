#include "proxy/net/Address.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "proxy/net/SockAPI.h"

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

enum class Lookup { found, noAnswer, noList };

// Asks the system resolver for the IPv4 addresses of `host` (a name or
// dotted decimal, which needs no look-up) and takes the first one.
Lookup resolveFirst(const std::string& host, IpAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &raw) != 0) {
        return Lookup::noAnswer;
    }
    const AddrInfoList list(raw);
    if (!list || list->ai_addr == nullptr || list->ai_family != AF_INET ||
        list->ai_addrlen < sizeof(sockaddr_in)) {
        return Lookup::noList;
    }
    sockaddr_in first{};
    std::memcpy(&first, list->ai_addr, sizeof(first));
    address = first.sin_addr.s_addr;
    return Lookup::found;
}

}  // namespace

IpAddress getIP(const std::string& host) {
    Sok_trace("getIP: " + host);
    IpAddress address = 0;
    switch (resolveFirst(host, address)) {
        case Lookup::noAnswer:
            Sok_trace(" err!");
            return 0;
        case Lookup::noList:
            Sok_trace(" err1!");
            return 0;
        case Lookup::found:
            break;
    }
    Sok_trace(" result: " + std::to_string(address));
    return address;
}

IpAddress getLocalIP() {
    constexpr std::size_t nameLimit = 100;
    std::array<char, nameLimit + 1> name{};
    if (gethostname(name.data(), nameLimit) != 0) {
        return 0;
    }
    name[nameLimit] = '\0';
    IpAddress address = 0;
    if (resolveFirst(name.data(), address) != Lookup::found) {
        return 0;
    }
    return address;
}

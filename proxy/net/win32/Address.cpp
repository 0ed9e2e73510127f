// Name resolution on Windows through the classic resolver, which takes
// dotted-decimal texts as well as names.
#include "proxy/net/Address.h"

#include <winsock2.h>

#include <array>
#include <cstring>
#include <string>

#include "proxy/net/SockAPI.h"

namespace {

enum class Lookup { found, noAnswer, noList, noFirst };

// The first IPv4 address of the resolver's answer for `host`.
Lookup resolveFirst(const std::string& host, IpAddress& address) {
    // Windows resolves an empty text to the machine itself; here, as on
    // every platform, it names no host.
    if (host.empty()) {
        return Lookup::noAnswer;
    }
    const hostent* answer = gethostbyname(host.c_str());
    if (answer == nullptr) {
        return Lookup::noAnswer;
    }
    if (answer->h_addr_list == nullptr || answer->h_addrtype != AF_INET ||
        answer->h_length != sizeof(IpAddress)) {
        return Lookup::noList;
    }
    if (answer->h_addr_list[0] == nullptr) {
        return Lookup::noFirst;
    }
    std::memcpy(&address, answer->h_addr_list[0], sizeof(address));
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
        case Lookup::noFirst:
            Sok_trace(" err2!");
            return 0;
        case Lookup::found:
            break;
    }
    Sok_trace(" result: " + std::to_string(address));
    return address;
}

IpAddress getLocalIP() {
    constexpr int nameLimit = 100;
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

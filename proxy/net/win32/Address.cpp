// The system resolver on Windows: the classic gethostbyname, which takes
// dotted-decimal texts as well as names.
#include <winsock2.h>

#include <array>
#include <cstring>
#include <string>

#include "proxy/net/SockPlatform.h"

namespace sok_platform {

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

std::string localHostName() {
    constexpr int nameLimit = 100;
    std::array<char, nameLimit + 1> name{};
    if (gethostname(name.data(), nameLimit) != 0) {
        return {};
    }
    name[nameLimit] = '\0';
    return name.data();
}

}  // namespace sok_platform

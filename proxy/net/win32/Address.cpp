// The system resolver on Windows: the classic gethostbyname, which takes
// dotted-decimal texts as well as names.
#include <winsock2.h>

#include <cstring>
#include <string>

#include "proxy/net/SockPlatform.h"

namespace sok_platform {

Lookup resolveFirst(const std::string& host, IpAddress& address) {
    // Windows resolves an empty text to the machine itself; here, as on
    // every platform, it names no host.
    if (host.empty()) {
        noteError(0, "no host name", false, true);
        return Lookup::noAnswer;
    }
    const hostent* answer = gethostbyname(host.c_str());
    if (answer == nullptr) {
        const int code = WSAGetLastError();
        noteError(code, systemMessage(code), false, true);
        return Lookup::noAnswer;
    }
    if (answer->h_addr_list == nullptr || answer->h_addrtype != AF_INET ||
        answer->h_length != sizeof(IpAddress) || answer->h_addr_list[0] == nullptr) {
        noteError(0, "no IPv4 address", false, true);
        return Lookup::noList;
    }
    std::memcpy(&address, answer->h_addr_list[0], sizeof(address));
    return Lookup::found;
}

bool hostName(std::span<char> name) {
    return gethostname(name.data(), static_cast<int>(name.size())) == 0;
}

}  // namespace sok_platform

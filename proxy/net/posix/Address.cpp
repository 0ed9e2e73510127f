// The system resolver on POSIX: getaddrinfo, which takes dotted-decimal
// texts as well as names.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "proxy/net/SockPlatform.h"

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

}  // namespace

namespace sok_platform {

Lookup resolveFirst(const std::string& host, IpAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &raw); rc != 0) {
        noteError(rc, rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc), false, true);
        return Lookup::noAnswer;
    }
    const AddrInfoList list(raw);
    if (!list || list->ai_addr == nullptr || list->ai_family != AF_INET ||
        list->ai_addrlen < sizeof(sockaddr_in)) {
        noteError(0, "no IPv4 address", false, true);
        return Lookup::noList;
    }
    sockaddr_in first{};
    std::memcpy(&first, list->ai_addr, sizeof(first));
    address = first.sin_addr.s_addr;
    return Lookup::found;
}

bool hostName(std::span<char> name) {
    return gethostname(name.data(), name.size()) == 0;
}

}  // namespace sok_platform

// Host name resolution: IPv4 only, first address of the answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// IPv4 address in network byte order (the bytes a.b.c.d in memory order);
// 0 stands for no address, and bound to it means every local interface.
using IpAddress = std::uint32_t;

// The first IPv4 address of a host text (a name or dotted decimal), or
// nothing when it does not resolve. "0.0.0.0" resolves, to address 0.
std::optional<IpAddress> resolveIP(const std::string& host);
// The same with 0 for a text that does not resolve.
IpAddress getIP(const std::string& host);
// The first address of the machine's own host name, or nothing when that
// name does not resolve (Sok_lastError tells why).
std::optional<IpAddress> resolveLocalIP();
// The same with 0 for a name that does not resolve.
IpAddress getLocalIP();

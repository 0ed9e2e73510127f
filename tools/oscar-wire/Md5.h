// MD5 (RFC 1321), for the sign-on's password digest.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace oscar {

std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> data);

}  // namespace oscar

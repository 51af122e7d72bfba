// SHA-512 digests of file contents (internal to the io component).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace dot11a {

// The SHA-512 digest of `bytes` as 128 lower-case hexadecimal digits.
std::string sha512Hex(std::span<const std::uint8_t> bytes);

}  // namespace dot11a

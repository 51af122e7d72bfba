// SHA-512 digests of file contents (internal to the io component).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace dot11a {

// The SHA-512 digest of `bytes` as 128 lower-case hexadecimal digits.
std::string sha512Hex(std::span<const std::uint8_t> bytes);

// The digest of the regular file `path`, read a piece at a time; nothing when
// it is not a regular file or cannot be read to its end.
std::optional<std::string> sha512HexOfFile(const std::string& path);

}  // namespace dot11a

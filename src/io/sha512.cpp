// SHA-512 digests through Nettle.
#include "io/sha512.hpp"

#include <nettle/sha2.h>

namespace dot11a {

std::string sha512Hex(std::span<const std::uint8_t> bytes) {
  sha512_ctx ctx;
  sha512_init(&ctx);
  if (!bytes.empty()) sha512_update(&ctx, bytes.size(), bytes.data());
  std::uint8_t digest[SHA512_DIGEST_SIZE];
  sha512_digest(&ctx, SHA512_DIGEST_SIZE, digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * SHA512_DIGEST_SIZE);
  for (std::uint8_t b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0x0F]);
  }
  return out;
}

}  // namespace dot11a

// SHA-512 digests through Nettle.
#include "io/sha512.hpp"

#include <nettle/sha2.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace dot11a {

namespace {

std::string hexDigest(sha512_ctx& ctx) {
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

}  // namespace

std::string sha512Hex(std::span<const std::uint8_t> bytes) {
  sha512_ctx ctx;
  sha512_init(&ctx);
  if (!bytes.empty()) sha512_update(&ctx, bytes.size(), bytes.data());
  return hexDigest(ctx);
}

std::optional<std::string> sha512HexOfFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  sha512_ctx ctx;
  sha512_init(&ctx);
  std::vector<char> buf(std::size_t{1} << 20);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > 0) sha512_update(&ctx, got, reinterpret_cast<const std::uint8_t*>(buf.data()));
  }
  if (!in.eof()) return std::nullopt;
  return hexDigest(ctx);
}

}  // namespace dot11a

// Payload sources and their operations.
#include "dot11a/payload.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "dot11a/bits.hpp"
#include "dot11a/error.hpp"

namespace dot11a {

namespace {

struct PnEntry {
  int order;
  PnPolynomial poly;
};

// Feedback exponents and inversion flag per order. Order 24 uses
// x^24 + x^7 + x^2 + x + 1: with only the exponents 24, 7, 2 the recurrence has
// an even number of terms, is divisible by x + 1 and never reaches full period.
const std::vector<PnEntry>& pnTable() {
  static const std::vector<PnEntry> table = {
      {3, {{3, 1}, false}},          {4, {{4, 1}, false}},          {5, {{5, 2}, false}},
      {6, {{6, 1}, false}},          {7, {{7, 1}, false}},          {8, {{8, 4, 3, 2}, false}},
      {9, {{9, 5}, false}},          {10, {{10, 3}, false}},        {11, {{11, 9}, false}},
      {12, {{12, 6, 4, 1}, false}},  {13, {{13, 4, 3, 1}, false}},  {14, {{14, 12, 2, 1}, false}},
      {15, {{15, 14}, true}},        {16, {{16, 12, 3, 1}, false}}, {17, {{17, 3}, false}},
      {18, {{18, 7}, false}},        {19, {{19, 5, 2, 1}, false}},  {20, {{20, 3}, false}},
      {21, {{21, 2}, false}},        {22, {{22, 1}, false}},        {23, {{23, 18}, true}},
      {24, {{24, 7, 2, 1}, false}},  {25, {{25, 3}, false}},        {26, {{26, 6, 2, 1}, false}},
      {27, {{27, 5, 2, 1}, false}},  {28, {{28, 3}, false}},        {29, {{29, 27}, true}},
      {30, {{30, 23, 2, 1}, false}}, {31, {{31, 28}, true}},
  };
  return table;
}

}  // namespace

PnPolynomial pnPolynomial(int order, bool zeroSuppression) {
  if (order == 20 && zeroSuppression) return {{20, 17}, false};
  for (const PnEntry& e : pnTable())
    if (e.order == order) return e.poly;
  raise("There is no pseudo-random sequence of order " + std::to_string(order) +
        " (orders 3 to 31).");
}

Bits pnSequence(int order, std::size_t length, bool userInvert, std::span<const std::uint8_t> seed,
                bool zeroSuppression) {
  const PnPolynomial poly = pnPolynomial(order, zeroSuppression);
  const auto n = static_cast<std::size_t>(order);
  Bits start(n, 1);
  if (!seed.empty()) {
    if (seed.size() < n)
      raise("The seed of an order-" + std::to_string(order) + " sequence needs " +
            std::to_string(order) + " bits.");
    std::transform(seed.begin(), seed.begin() + order, start.begin(),
                   [](std::uint8_t b) { return static_cast<std::uint8_t>(b & 1u); });
    if (std::all_of(start.begin(), start.end(), [](std::uint8_t b) { return b == 0; }))
      start.back() = 1;
  }
  // The tap row for lfsr: ones at the exponents, reversed, so that tap j
  // (0-based) weights the bit order - j steps back.
  Bits taps(n, 0);
  for (int k : poly.exponents) taps[n - static_cast<std::size_t>(k)] = 1;
  Bits seq = lfsr(taps, length, start);

  if (order == 20 && zeroSuppression && seq.size() >= 15) {
    // Scanning forwards and setting the last bit of every all-zero window of 15
    // leaves no run of more than 14 zeros; a running count does the same scan.
    std::size_t run = 0;
    for (auto& b : seq) {
      run = b ? 0 : run + 1;
      if (run == 15) {
        b = 1;
        run = 0;
      }
    }
  }
  if (poly.invert != userInvert)
    for (auto& b : seq) b ^= 1u;
  if (seq.size() > length) seq.resize(length);
  return seq;
}

FileBits readPayloadFile(const std::string& path, std::size_t maxBits, bool msbFirst) {
  FileBits result;
  // Only regular files: a folder cannot be read, and opening a pipe or a
  // terminal could wait for a writer forever.
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || status.type() != std::filesystem::file_type::regular) {
    result.error = ec ? ec.message() : "not a regular file";
    return result;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.error = std::strerror(errno);
    return result;
  }
  // Read up to the byte limit or the end of the file, whichever comes first;
  // the size is not trusted, so files that change or report no size are safe.
  const std::size_t byteLimit = (maxBits + 7) / 8;
  std::vector<std::uint8_t> bytes;
  constexpr std::size_t kChunk = 1 << 16;
  while (bytes.size() < byteLimit) {
    const std::size_t want = std::min(kChunk, byteLimit - bytes.size());
    const std::size_t have = bytes.size();
    bytes.resize(have + want);
    in.read(reinterpret_cast<char*>(bytes.data() + have), static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(in.gcount());
    bytes.resize(have + got);
    if (got < want) break;
  }
  if (in.bad()) {
    result.error = "the file could not be read";
    return result;
  }
  result.bits = bytesToBits(bytes, msbFirst);
  if (result.bits.size() > maxBits) result.bits.resize(maxBits);
  result.ok = true;
  return result;
}

}  // namespace dot11a

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
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/mac.hpp"

namespace dot11a {

namespace {

// Longest sequence PNgenerator hands back as a value (a full period of order 25).
constexpr double kMaxPnOutput = 1 << 25;
// Longest generated payload source; far beyond the 4095 octets a frame carries,
// small enough that a corrupt length cannot exhaust memory.
constexpr double kMaxPayloadBits = 1 << 24;

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

Bits pattern(std::size_t n, std::uint8_t first) {
  Bits b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>((i % 2 == 0) ? first : 1 - first);
  return b;
}

std::size_t payloadBitCount(const Value& parameters) {
  const double dataLength = parameters.field("dataLength").toScalar();
  if (std::isnan(dataLength) || dataLength < 0)
    raise("The data length must be a number of bytes, 0 or more.");
  const double bits = std::floor(8 * dataLength);
  if (bits > kMaxPayloadBits)
    raise("The data length of " + std::to_string(static_cast<long long>(dataLength)) +
          " bytes is far beyond the 4095 bytes a frame can carry.");
  return static_cast<std::size_t>(bits);
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

Bits generatePayload(const Value& parameters) {
  const Value& typeValue = parameters.field("dataSourceType");
  const double type = typeValue.isNumeric() && !typeValue.isEmpty() ? typeValue.toScalar() : 0;
  Bits data;
  if (type == 1) {
    data.assign(payloadBitCount(parameters), 0);
  } else if (type == 2) {
    data.assign(payloadBitCount(parameters), 1);
  } else if (type == 3) {
    data = pattern(payloadBitCount(parameters), 0);
  } else if (type == 4) {
    data = pattern(payloadBitCount(parameters), 1);
  } else if (type == 5) {
    data = pnSequence(9, payloadBitCount(parameters));
  } else if (type == 6) {
    data = pnSequence(15, payloadBitCount(parameters));
  } else if (type == 7) {
    data = parameters.field("dataSourceBitstream").toBits();
  } else {
    raise("The value \"data\" is undefined: dataSourceType must be 1 to 7, it is " +
          typeValue.describe() + ".");
  }

  Bits packet;
  const Value& header = parameters.field("MACheader");
  if (header.field("Active").isNumeric() && !header.field("Active").isEmpty() &&
      header.field("Active").toScalar() == 1) {
    packet = header.field("Contents").field("BitStream").toBits();
  }
  packet.insert(packet.end(), data.begin(), data.end());

  const Value& fcs = parameters.field("MACfcs");
  if (fcs.field("Active").isNumeric() && !fcs.field("Active").isEmpty() &&
      fcs.field("Active").toScalar() == 1) {
    const Bits check = calcMACfcs(packet);
    packet.insert(packet.end(), check.begin(), check.end());
  }
  return packet;
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

namespace op {

void dot11_GeneratePayload(Call& c) {
  c.outputNames({"databits"});
  const Value& parameters = c.in(0, "parameters");
  if (!parameters.isRecord())
    raise("dot11_GeneratePayload: parameters must be a parameter set record.");
  c.out(0) = Value::bits(generatePayload(parameters));
}

void PNgenerator(Call& c) {
  c.outputNames({"sequence"});
  // Order: 9 unless a single number is given; clamped to 3..31; a value that is
  // not whole uses the order-9 entry.
  double nIn = 9;
  if (c.has(0) && c.in(0, "n").isNumeric() && c.in(0, "n").numel() == 1)
    nIn = c.in(0, "n").toScalar();
  nIn = std::max(std::min(nIn, 31.0), 3.0);
  const int n = std::floor(nIn) == nIn ? static_cast<int>(nIn) : 9;

  double length = std::ldexp(1.0, n) - 1;
  if (c.has(1) && c.in(1, "dataLength").numel() == 1) {
    const double given = c.in(1, "dataLength").toScalar();
    length = std::isnan(given) ? 1 : std::max(std::floor(given), 1.0);
  }
  if (length > kMaxPnOutput)
    raise("PNgenerator: " + std::to_string(static_cast<long long>(length)) +
          " bits were asked for; at most " + std::to_string(static_cast<long long>(kMaxPnOutput)) +
          " can be returned.");

  const bool userInvert =
      c.has(2) && c.in(2, "userInvert").numel() == 1 && c.in(2, "userInvert").toScalar() == 1;

  Bits seed;  // empty: all ones
  if (c.has(3)) {
    const Value& s = c.in(3, "seed");
    if (s.numel() == 1) {
      if (s.toScalar() != 0) {
        seed.assign(static_cast<std::size_t>(n), 0);
        seed.back() = 1;
      }
    } else if (s.numel() >= static_cast<std::size_t>(n)) {
      for (double d : s.toDoubles())
        seed.push_back(static_cast<std::uint8_t>(std::fmod(std::fabs(std::trunc(d)), 2.0) != 0));
    }
  }
  const bool zeroSuppression = c.has(4) && c.in(4, "zeroSuppresion").numel() == 1 &&
                               c.in(4, "zeroSuppresion").toScalar() == 1;
  c.out(0) = Value::bits(
      pnSequence(n, static_cast<std::size_t>(length), userInvert, seed, zeroSuppression));
}

void loadUserDataFile(Call& c) {
  c.outputNames({"status", "bits"});
  double maxBits = 0;
  if (c.has(0) && c.in(0, "maxLengthInBits").numel() >= 1)
    maxBits = c.in(0, "maxLengthInBits").toScalar();
  if (std::isnan(maxBits) || maxBits < 0) maxBits = 0;
  if (maxBits > kMaxUserFileBits)
    raise("loadUserDataFile: the limit of " + std::to_string(maxBits) +
          " bits is too large (at most " +
          std::to_string(static_cast<long long>(kMaxUserFileBits)) + ").");
  std::string bitorder = "right-msb";
  if (c.nargin() == 2 && c.in(1, "bitorder").isText())
    bitorder = c.in(1, "bitorder").str();
  else if (c.nargin() == 2)
    bitorder.clear();
  const bool msbFirst = bitorder.substr(0, 5) != "right";

  c.out(0) = -1.0;
  c.out(1) = Value::empty();
  const auto path =
      dialogs().openFile("Select data source file.", {{"*.*", "All files (*.*)"}}, "");
  if (!path) return;
  FileBits file = readPayloadFile(*path, static_cast<std::size_t>(maxBits), msbFirst);
  if (!file.ok) {
    dialogs().error("File Error", "Could not open\n" + *path);
    return;
  }
  c.out(0) = 1.0;
  c.out(1) = Value::bits(file.bits);
}

}  // namespace op
}  // namespace dot11a

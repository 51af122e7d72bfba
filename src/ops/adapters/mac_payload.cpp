// The operations of payload (mac): Value adapters over the typed functions.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/error.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/payload.hpp"

namespace dot11a {

namespace op {

namespace {
// Longest sequence PNgenerator hands back as a value (a full period of order 25).
constexpr double kMaxPnOutput = 1 << 25;
}  // namespace

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
  const int n = integerOf<int>(nIn).value_or(9);

  double length = std::ldexp(1.0, n) - 1;
  if (c.has(1) && c.in(1, "dataLength").numel() == 1) {
    const double given = c.in(1, "dataLength").toScalar();
    length = std::isnan(given) ? 1 : std::max(std::floor(given), 1.0);
  }
  if (length > kMaxPnOutput)
    raise("PNgenerator: " + num2str(length) + " bits were asked for; at most " +
          num2str(kMaxPnOutput) + " can be returned.");

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
  c.out(0) =
      Value::bits(pnSequence(n, checkedInteger<std::size_t>(length, "PNgenerator: the length"),
                             userInvert, seed, zeroSuppression));
}

void loadUserDataFile(Call& c) {
  c.outputNames({"status", "bits"});
  double maxBits = 0;
  if (c.has(0) && c.in(0, "maxLengthInBits").numel() >= 1)
    maxBits = c.in(0, "maxLengthInBits").toScalar();
  if (std::isnan(maxBits) || maxBits < 0) maxBits = 0;
  if (maxBits > kMaxUserFileBits)
    raise("loadUserDataFile: the limit of " + std::to_string(maxBits) +
          " bits is too large (at most " + num2str(kMaxUserFileBits) + ").");
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
  FileBits file = readPayloadFile(
      *path, checkedInteger<std::size_t>(std::floor(maxBits), "loadUserDataFile: the limit"),
      msbFirst);
  if (!file.ok) {
    dialogs().error("File Error", "Could not open\n" + *path);
    return;
  }
  c.out(0) = 1.0;
  c.out(1) = Value::bits(file.bits);
}

}  // namespace op

}  // namespace dot11a

// Payload sources: the bit stream a frame's DATA field carries (payload of the
// chosen source, optionally with the MAC header in front and the FCS behind),
// the pseudo-random sequences of orders 3 to 31, and payload files.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "dot11a/bitcoding.hpp"
#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Feedback of a pseudo-random sequence: bit i is the XOR of bits i - k over the
// exponents k; `invert` complements the output.
struct PnPolynomial {
  std::vector<int> exponents;
  bool invert = false;
};
// The table entry of an order from 3 to 31 (order 20 has two entries, chosen by
// zeroSuppression). Raises an error for other orders.
PnPolynomial pnPolynomial(int order, bool zeroSuppression = false);

// `length` bits of the sequence of `order` (3 .. 31) started from `seed` (order
// bits, empty for all ones; an all-zero seed gets its last bit set). The first
// bits are the seed itself. With zeroSuppression (order 20 only) no run of more
// than 14 zeros remains. The output is complemented when the table's inversion
// flag and userInvert differ.
Bits pnSequence(int order, std::size_t length, bool userInvert = false,
                std::span<const std::uint8_t> seed = {}, bool zeroSuppression = false);

// The payload sources, numbered as the main window's list and the parameter
// files number them.
enum class PayloadSource { Zeros = 1, Ones, Alt01, Alt10, Pn9, Pn15, UserFile };

// `bits` bits of a generated source: all zeros, all ones, 0101..., 1010...,
// PN9, inverted PN15. The user file has no pattern (empty).
Bits sourcePattern(PayloadSource source, std::size_t bits);
// The bits a frame carries: the MAC header in front of the data and, with
// `fcs`, the frame check sequence of both behind.
Bits framePayload(std::span<const std::uint8_t> header, std::span<const std::uint8_t> data,
                  bool fcs);

// The payload bits of a parameter set record: source dataSourceType (1 zeros, 2 ones,
// 3 0101.., 4 1010.., 5 PN9, 6 inverted PN15, each 8 x dataLength bits; 7 the
// stored dataSourceBitstream), then MAC header in front and FCS behind when
// their Active flags are 1.
Bits generatePayload(const Value& parameters);

// The largest payload file limit loadUserDataFile accepts, in bits.
inline constexpr double kMaxUserFileBits = 1 << 27;

// Reads at most ceil(maxBits / 8) bytes of a file and expands them to bits (least
// significant bit of each byte first unless msbFirst), cut to maxBits. A file
// that ends early (it shrank while read) gives the bits of the bytes it had.
// Anything but a regular file (a folder, a pipe, a device) is refused.
struct FileBits {
  bool ok = false;
  std::string error;  // why the file could not be read, when !ok
  Bits bits;
};
FileBits readPayloadFile(const std::string& path, std::size_t maxBits, bool msbFirst);

}  // namespace dot11a

DOT11A_API_END

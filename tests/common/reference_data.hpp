// Reference data of the tests: the worked example of IEEE 802.11a-1999 Annex G
// (tests/data), and random payloads. Needs no library start-up, so suites that
// link only part of the library use it too.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

namespace dot11a::test {

// The example's tables, read once per test program.
const nlohmann::json& annexG();

// The example's PSDU, 100 octets with the MAC header and the FCS printed there.
std::vector<std::uint8_t> annexGOctets();

// A table of [re, im] pairs as complex samples.
std::vector<std::complex<double>> complexTable(const nlohmann::json& j);

// A table of 0s and 1s as bits.
std::vector<std::uint8_t> bitTable(const nlohmann::json& j);

// The shared folder (conformance data, real captures): $DOT11A_SHARED_DIR when
// it is set, else the folder beside the source tree.
std::string sharedDir();

// n random bits (0 or 1) from `rng`.
std::vector<std::uint8_t> randomBits(std::size_t n, std::mt19937& rng);

}  // namespace dot11a::test

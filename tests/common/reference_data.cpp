#include "common/reference_data.hpp"

#include <cstdlib>
#include <fstream>
#include <string>

namespace dot11a::test {

const nlohmann::json& annexG() {
  static const nlohmann::json j = [] {
    std::ifstream f(std::string(DOT11A_TEST_DATA_DIR) + "/ieee80211a-annex-g.json");
    return nlohmann::json::parse(f);
  }();
  return j;
}

std::vector<std::uint8_t> annexGOctets() {
  return annexG()["psdu_octets"].get<std::vector<std::uint8_t>>();
}

std::vector<std::complex<double>> complexTable(const nlohmann::json& j) {
  std::vector<std::complex<double>> s;
  for (const auto& e : j) s.emplace_back(e[0].get<double>(), e[1].get<double>());
  return s;
}

std::vector<std::uint8_t> bitTable(const nlohmann::json& j) {
  std::vector<std::uint8_t> b;
  for (const auto& e : j) b.push_back(static_cast<std::uint8_t>(e.get<int>()));
  return b;
}

std::string sharedDir() {
  const char* env = std::getenv("DOT11A_SHARED_DIR");
  return env != nullptr && *env != '\0' ? std::string(env) : std::string(DOT11A_SHARED_DIR);
}

std::vector<std::uint8_t> randomBits(std::size_t n, std::mt19937& rng) {
  std::vector<std::uint8_t> b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng() & 1u);
  return b;
}

}  // namespace dot11a::test

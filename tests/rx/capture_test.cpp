// The receiver on conducted captures of a commercial access point (read in
// place from the shared folder): every frame an independent decoder found
// with a good FCS is decoded with the same rate, LENGTH and PSDU, and the
// carrier offset of the capture is measured.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/reference_data.hpp"
#include "dot11a/receiver.hpp"

namespace dot11a::rx {
namespace {

std::string hexOf(const std::vector<std::uint8_t>& octets) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (const std::uint8_t o : octets) {
    s += digits[o >> 4];
    s += digits[o & 15];
  }
  return s;
}

// Interleaved little-endian 16-bit I and Q, the way the captures are stored.
std::vector<cplx> readCi16(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(f), {}};
  std::vector<cplx> x(bytes.size() / 4);
  auto at = [&](std::size_t i) {
    const auto lo = static_cast<std::uint8_t>(bytes[i]),
               hi = static_cast<std::uint8_t>(bytes[i + 1]);
    return static_cast<double>(static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | hi << 8)));
  };
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = cplx(at(4 * i), at(4 * i + 2)) / 32768.0;
  return x;
}

TEST(RxCaptures, AccessPointFramesDecodeAsTheIndependentDecoderFoundThem) {
  const std::filesystem::path dir = std::filesystem::path(test::sharedDir()) / "captures";
  if (!std::filesystem::exists(dir / "expected.json"))
    GTEST_SKIP() << "No captures in " << dir.string()
                 << " (set DOT11A_SHARED_DIR to the folder that holds captures/).";
  const auto expected = nlohmann::json::parse(std::ifstream(dir / "expected.json"));
  std::size_t frames = 0;
  for (const auto& [name, capture] : expected.items()) {
    SCOPED_TRACE(name);
    const std::vector<cplx> x = readCi16(dir / (name + ".sigmf-data"));
    Options o;
    o.sampleRate = capture["sample_rate"].get<double>();
    const Result res = receive(x, o);
    for (const auto& want : capture["frames"]) {
      // The frame whose long training starts where the independent decoder put it.
      const auto ltf = want["ltf_start"].get<long long>();
      const FrameReport* got = nullptr;
      for (const FrameReport& f : res.frames)
        if (std::abs(static_cast<long long>(f.start) + 192 - ltf) <= 8) got = &f;
      ASSERT_NE(got, nullptr) << "no frame at sample " << ltf;
      SCOPED_TRACE(ltf);
      EXPECT_TRUE(got->decoded());
      EXPECT_EQ(got->rateMbps, want["rate"].get<double>());
      EXPECT_EQ(got->length, want["length"].get<unsigned>());
      EXPECT_EQ(got->fcs, FcsState::Good);
      EXPECT_EQ(hexOf(got->psdu), want["psdu"].get<std::string>());
      EXPECT_NEAR(got->cfoHz, -35e3, 2e3);
      ++frames;
    }
  }
  EXPECT_EQ(frames, 130u);
}

}  // namespace
}  // namespace dot11a::rx

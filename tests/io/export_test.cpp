// Waveform export: the 16-bit sample file, containers read by SciPy, SigMF
// recordings, PCAP captures; record comparison and time stamps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "common/test_folder.hpp"
#include "dot11a/call.hpp"
#include "dot11a/files.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using cd = std::complex<double>;

namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::string s;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

std::string readAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ExportTest : public test::TempFolderTest {
 protected:
  ExportTest() : TempFolderTest("export") {}
};

TEST(Zenfold, ScalesRoundsAndEncodesBigEndian) {
  const std::vector<cd> a = {{1, 0.5}, {-1, -1}};
  EXPECT_EQ(hex(zenfoldBytes(a)), "7F FE 3F FF 80 02 80 02");
  const std::vector<cd> b = {{0.5, 0}, {0, -0.25}};
  EXPECT_EQ(hex(zenfoldBytes(b, 0.5)), "3F FF 00 00 00 00 E0 00");
  EXPECT_EQ(zenfoldBytes(a, 5), zenfoldBytes(a, 1));
  EXPECT_EQ(zenfoldBytes(a, 0), zenfoldBytes(a, 1e-5));
}

TEST(Zenfold, EqualMagnitudesAreScaledAndZerosStayZeros) {
  const std::vector<cd> equal = {{0.7, 0.7}, {-0.7, 0.7}};
  EXPECT_EQ(hex(zenfoldBytes(equal)), "7F FE 7F FE 80 02 7F FE");
  const std::vector<cd> big = {{40000, 40000}};
  EXPECT_EQ(hex(zenfoldBytes(big)), "7F FE 7F FE");
  EXPECT_EQ(zenfoldBytes(std::vector<cd>(3)), std::vector<std::uint8_t>(12, 0));
  EXPECT_TRUE(zenfoldBytes({}).empty());
}

TEST_F(ExportTest, SigmfRecordingFollowsTheFormatRules) {
  const std::vector<cd> s = {{0.5, -0.25}, {1, 0}, {0, 1}, {-1, 0}};
  SigmfInfo info;
  info.sampleRate = 40e6;
  info.frequency = 5.18e9;
  info.description = "test frame";
  info.annotations = {{1, 2, "SIGNAL", "6 Mbit/s"}, {0, 1, "preamble", ""}, {3, 10, "DATA", ""}};
  writeSigmf(path("rec.sigmf-meta"), s, info);
  const std::string data = readAll(path("rec.sigmf-data"));
  ASSERT_EQ(data.size(), 32u);
  float first[2];
  std::memcpy(first, data.data(), 8);  // the test machine is little-endian
  EXPECT_EQ(first[0], 0.5f);
  EXPECT_EQ(first[1], -0.25f);

  const auto meta = nlohmann::json::parse(readAll(path("rec.sigmf-meta")));
  const auto& g = meta.at("global");
  EXPECT_EQ(g.at("core:datatype"), "cf32_le");
  EXPECT_TRUE(g.at("core:version").get<std::string>().starts_with("1."));
  EXPECT_EQ(g.at("core:sample_rate"), 40e6);
  EXPECT_EQ(meta.at("captures").size(), 1u);
  EXPECT_EQ(meta.at("captures")[0].at("core:frequency"), 5.18e9);
  // Annotations sorted by start, inside the recording, every key namespaced.
  std::uint64_t last = 0;
  for (const auto& a : meta.at("annotations")) {
    EXPECT_GE(a.at("core:sample_start").get<std::uint64_t>(), last);
    last = a.at("core:sample_start");
    EXPECT_LE(last + a.at("core:sample_count").get<std::uint64_t>(), s.size());
    for (const auto& [k, v] : a.items()) EXPECT_EQ(k.rfind("core:", 0), 0u) << k;
  }
  for (const auto& section : {"global", "captures", "annotations"})
    EXPECT_TRUE(meta.contains(section));
  for (const auto& [k, v] : meta.items())
    EXPECT_TRUE(k == "global" || k == "captures" || k == "annotations") << k;
}

TEST_F(ExportTest, PcapFrameReadsInTsharkWithAGoodFcs) {
  // A data frame: frame control, duration, three addresses, sequence, 4 payload
  // octets, then the CRC-32 of all of it, least significant octet first.
  std::vector<std::uint8_t> frame = {0x08, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55,
                                     0x00, 0x66, 0x77, 0x88, 0x99, 0xAA, 0x00, 0x11, 0x22, 0x33,
                                     0x44, 0x55, 0x10, 0x00, 1,    2,    3,    4};
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::uint8_t b : frame) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc = ~crc;
  for (int k = 0; k < 4; ++k) frame.push_back(static_cast<std::uint8_t>(crc >> (8 * k)));
  writePcap(path("f.pcap"), frame, true, 54);
  const std::string bytes = readAll(path("f.pcap"));
  ASSERT_EQ(bytes.size(), 24u + 16u + 10u + frame.size());

  if (std::system("command -v tshark >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "tshark is not installed";
  const std::string out = path("tshark.txt");
  const std::string cmd = "tshark -r " + path("f.pcap") +
                          " -o wlan.check_checksum:TRUE -T fields -e wlan.da -e wlan.sa -e "
                          "wlan.fcs.status -e wlan_radio.data_rate > " +
                          out + " 2>/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string fields = readAll(out);
  EXPECT_NE(fields.find("00:11:22:33:44:55"), std::string::npos) << fields;
  EXPECT_NE(fields.find("00:66:77:88:99:aa"), std::string::npos) << fields;
  EXPECT_NE(fields.find("\t1\t"), std::string::npos) << fields;  // FCS status good
  EXPECT_NE(fields.find("54"), std::string::npos) << fields;
}

}  // namespace

// Payload sources: the fixed patterns, the pseudo-random sequences, the header
// and FCS around the payload, and payload files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "common/library_fixture.hpp"
#include "common/test_folder.hpp"
#include "dot11a/bits.hpp"
#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/payload.hpp"

using dot11a::Bits;
using dot11a::Value;
using dot11a::test::bitsFrom;
using dot11a::test::bitsToString;

namespace {

class PayloadSources : public dot11a::test::LibraryTest {};

Value parametersFor(double type, double length) {
  Value p = dot11a::defaultParameters();
  p.setField("dataSourceType", type);
  p.setField("dataLength", length);
  return p;
}

std::string payloadOf(const Value& p) {
  return bitsToString(dot11a::feval1("dot11_GeneratePayload", {p}).toBits());
}

std::string pn(std::initializer_list<Value> args) {
  return bitsToString(dot11a::feval1("PNgenerator", args).toBits());
}

TEST_F(PayloadSources, FixedPatterns) {
  EXPECT_EQ(payloadOf(parametersFor(1, 2)), std::string(16, '0'));
  EXPECT_EQ(payloadOf(parametersFor(2, 2)), std::string(16, '1'));
  EXPECT_EQ(payloadOf(parametersFor(3, 1)), "01010101");
  EXPECT_EQ(payloadOf(parametersFor(4, 1)), "10101010");
}

TEST_F(PayloadSources, PseudoRandomSources) {
  const std::string pn9 = payloadOf(parametersFor(5, 1024));
  ASSERT_EQ(pn9.size(), 8192u);
  EXPECT_EQ(pn9.substr(0, 24), "111111111000001111011111");
  for (std::size_t i = 511; i < pn9.size(); ++i) ASSERT_EQ(pn9[i], pn9[i - 511]) << i;

  const std::string pn15 = payloadOf(parametersFor(6, 4095));
  ASSERT_EQ(pn15.size(), 32760u);
  EXPECT_EQ(pn15.substr(0, 24), "000000000000000111111111");
}

TEST_F(PayloadSources, ZeroSuppressionLeavesNoLongZeroRuns) {
  const Bits plain = dot11a::pnSequence(20, 1 << 20, false, {}, true);
  Bits raw = dot11a::lfsr(bitsFrom("10010000000000000000"), 1 << 20, Bits(20, 1));
  std::size_t run = 0, longest = 0, changed = 0;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    run = plain[i] ? 0 : run + 1;
    longest = std::max(longest, run);
    ASSERT_GE(plain[i], raw[i]) << i;  // zeros may become ones, nothing else
    changed += plain[i] != raw[i];
  }
  EXPECT_EQ(longest, 14u);
  EXPECT_GT(changed, 0u);
  // Without suppression the order-20 entry is x^20 + x^3 + 1 and runs stay.
  EXPECT_EQ(pn({20.0, 100.0, 0.0, 0.0, 0.0}),
            bitsToString(dot11a::pnSequence(20, 100, false, {}, false)));
  EXPECT_NE(pn({20.0, 100.0, 0.0, 0.0, 1.0}), pn({20.0, 100.0}));
}

// ---- payload files -----------------------------------------------------------

class PayloadFiles : public dot11a::test::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    dir_ = dot11a::test::freshTestFolder("payload");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const auto path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  std::vector<Value> load(std::initializer_list<Value> args) {
    return dot11a::feval("loadUserDataFile", 2, args);
  }

  std::filesystem::path dir_;
  dot11a::ScopedScriptedDialogs dialogs_;
};

TEST_F(PayloadFiles, BytesBecomeBitsInEitherOrder) {
  const auto path = file("three.bin", {0x01, 0x80, 0xFF});
  dialogs_->answer(path);
  auto out = load({32760.0});
  EXPECT_EQ(out[0].toScalar(), 1);
  EXPECT_EQ(bitsToString(out[1].toBits()), "100000000000000111111111");
  ASSERT_EQ(dialogs_->shown.size(), 1u);
  EXPECT_EQ(dialogs_->shown[0].kind, "open");
  EXPECT_EQ(dialogs_->shown[0].title, "Select data source file.");

  dialogs_->answer(path);
  out = load({32760.0, "left-msb"});
  EXPECT_EQ(bitsToString(out[1].toBits()), "000000011000000011111111");
}

TEST_F(PayloadFiles, TheLimitCutsLongFiles) {
  std::vector<std::uint8_t> bytes(5000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  const auto path = file("long.bin", bytes);
  dialogs_->answer(path);
  auto out = load({32760.0});
  EXPECT_EQ(out[0].toScalar(), 1);
  EXPECT_EQ(out[1].toBits(), dot11a::bytesToBits(std::span(bytes).first(4095)));
  // A limit that is not a whole number of bytes cuts inside the last byte.
  dialogs_->answer(path);
  out = load({12.0});
  EXPECT_EQ(out[1].numel(), 12u);
  // No limit given: no bits.
  dialogs_->answer(path);
  out = load({});
  EXPECT_EQ(out[0].toScalar(), 1);
  EXPECT_TRUE(out[1].isEmpty());
}

TEST_F(PayloadFiles, AnEmptyFileHasNoBits) {
  dialogs_->answer(file("empty.bin", {}));
  auto out = load({32760.0});
  EXPECT_EQ(out[0].toScalar(), 1);
  EXPECT_TRUE(out[1].isEmpty());
}

TEST_F(PayloadFiles, OnlyRegularFilesAreRead) {
  // A folder, a pipe (whose opening would wait for a writer) and a device.
  const auto fifo = (dir_ / "pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir_.string(), fifo, std::string("/dev/zero")}) {
    dialogs_->shown.clear();
    dialogs_->answer(path);
    const auto out = load({32760.0});
    EXPECT_EQ(out[0].toScalar(), -1) << path;
    EXPECT_TRUE(out[1].isEmpty());
    ASSERT_EQ(dialogs_->shown.size(), 2u);
    EXPECT_EQ(dialogs_->shown[1].text, "Could not open\n" + path);
  }
}

TEST_F(PayloadFiles, CancelAndUnreadableFiles) {
  dialogs_->cancel();
  auto out = load({32760.0});
  EXPECT_EQ(out[0].toScalar(), -1);
  EXPECT_TRUE(out[1].isEmpty());
  EXPECT_EQ(dialogs_->shown.size(), 1u);  // no error box on cancel

  for (const std::string& path : {(dir_ / "missing.bin").string()}) {
    dialogs_->shown.clear();
    dialogs_->answer(path);
    out = load({32760.0});
    EXPECT_EQ(out[0].toScalar(), -1) << path;
    EXPECT_TRUE(out[1].isEmpty());
    ASSERT_EQ(dialogs_->shown.size(), 2u);
    EXPECT_EQ(dialogs_->shown[1].kind, "error");
    EXPECT_EQ(dialogs_->shown[1].title, "File Error");
    EXPECT_EQ(dialogs_->shown[1].text, "Could not open\n" + path);
  }
}

TEST_F(PayloadSources, UserBitsAreUsedAsStored) {
  Value p = parametersFor(7, 1000);  // dataLength does not cut or repeat the file
  p.setField("dataSourceBitstream", Value::bits(bitsFrom("1100101")));
  EXPECT_EQ(payloadOf(p), "1100101");
}

TEST_F(PayloadSources, HeaderInFrontAndFcsBehindInAnyMode) {
  Value p = parametersFor(5, 10);
  p.setField("generationMode", 0.0);  // not looked at
  p.field("MACheader").setField("Active", 1.0);
  p.field("MACfcs").setField("Active", 1.0);
  Value contents = dot11a::defaultMACheader();
  dot11a::setMacField(contents, "FrameCntrl", 0x0108);
  p.field("MACheader").setField("Contents", contents);

  const Bits bits = dot11a::feval1("dot11_GeneratePayload", {p}).toBits();
  ASSERT_EQ(bits.size(), 240u + 80 + 32);
  const Bits packet(bits.begin(), bits.end() - 32);
  EXPECT_EQ(Bits(bits.begin(), bits.begin() + 240), contents.field("BitStream").toBits());
  EXPECT_EQ(Bits(bits.end() - 32, bits.end()), dot11a::crc32Bits(packet));
  // The FCS over the payload alone when the header is off.
  p.field("MACheader").setField("Active", 0.0);
  const Bits noHeader = dot11a::feval1("dot11_GeneratePayload", {p}).toBits();
  ASSERT_EQ(noHeader.size(), 80u + 32);
  EXPECT_EQ(Bits(noHeader.end() - 32, noHeader.end()),
            dot11a::crc32Bits(Bits(noHeader.begin(), noHeader.end() - 32)));
}

TEST_F(PayloadSources, UnknownSourceTypeIsAnError) {
  for (double type : {0.0, 8.0, 2.5}) {
    try {
      dot11a::feval1("dot11_GeneratePayload", {parametersFor(type, 1)});
      ADD_FAILURE() << "type " << type << " accepted";
    } catch (const dot11a::Error& e) {
      EXPECT_NE(std::string(e.what()).find("\"data\""), std::string::npos) << e.what();
    }
  }
}

TEST_F(PayloadSources, PnGeneratorArguments) {
  const std::string pn9 = pn({9.0});
  EXPECT_EQ(pn9.size(), 511u);
  EXPECT_EQ(std::count(pn9.begin(), pn9.end(), '1'), 256);
  EXPECT_EQ(pn({}), pn9);  // order 9 by default
  const std::string pn15 = pn({15.0});
  EXPECT_EQ(pn15.size(), 32767u);
  EXPECT_EQ(std::count(pn15.begin(), pn15.end(), '1'), 16383);

  EXPECT_EQ(pn({2.0, 10.0}), pn({3.0, 10.0}));
  EXPECT_EQ(pn({40.0, 10.0}), pn({31.0, 10.0}));
  EXPECT_EQ(pn({Value::row({4, 5}), 10.0}), pn({9.0, 10.0}));  // a vector order means 9
  EXPECT_EQ(pn({9.5, 10.0}), pn({9.0, 10.0}));
  EXPECT_EQ(pn({9.0, 5.0}), "11111");
  EXPECT_EQ(pn({9.0, 0.0}), "1");                        // at least one bit
  EXPECT_EQ(pn({5.0, Value::row({1, 2})}).size(), 31u);  // a vector length means one period
}

TEST_F(PayloadSources, PnGeneratorSeedsAndInversion) {
  EXPECT_EQ(pn({5.0, 8.0, 0.0, 0.0}), pn({5.0, 8.0}));                 // scalar 0: all ones
  EXPECT_EQ(pn({5.0, 8.0, 0.0, 1.0}).substr(0, 5), "00001");           // other scalar
  EXPECT_EQ(pn({5.0, 8.0, 0.0, Value::row({1, 0})}), pn({5.0, 8.0}));  // too short
  EXPECT_EQ(pn({5.0, 8.0, 0.0, Value::row({1, 0, 1, 1, 0, 1, 1})}).substr(0, 5), "10110");
  EXPECT_EQ(pn({5.0, 8.0, 0.0, Value::row({0, 0, 0, 0, 0})}).substr(0, 5), "00001");
  // Recurrence of order 5: bit(i) = bit(i-5) xor bit(i-2).
  const std::string s = pn({5.0, 40.0, 0.0, 1.0});
  for (std::size_t i = 5; i < s.size(); ++i)
    ASSERT_EQ(s[i] - '0', (s[i - 5] - '0') ^ (s[i - 2] - '0'));

  // userInvert inverts ordinary orders and cancels the table inversion.
  std::string inverted = pn({9.0, 20.0, 1.0});
  for (auto& ch : inverted) ch = ch == '1' ? '0' : '1';
  EXPECT_EQ(inverted, pn({9.0, 20.0}));
  EXPECT_EQ(pn({15.0, 20.0, 1.0}), std::string(15, '1') + "00000");
}

}  // namespace

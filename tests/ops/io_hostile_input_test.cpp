// Files and records built to hurt: oversized MAT files, parameter sets whose
// fields the calculation cannot use or whose lengths disagree, paths that are
// not files, and exports of waveforms that cannot be written faithfully.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "dot11a/call.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/files.hpp"
#include "dot11a/mac.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"
#include "io/io_fixture.hpp"
#include "io/mat_bytes.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using namespace dot11a::test;

namespace {

// A compressed variable holding 1 x n doubles, all zero. Each run of zeros is
// deflated once after a full flush, which resets the compressor, so its bytes
// can be repeated: the file is built in milliseconds, as small as a hostile
// one would be (about 460 kB for 60 million doubles).
std::string compressedZeros(const std::string& name, std::uint32_t n) {
  constexpr std::uint32_t kRun = 4'800'000;
  const std::uint64_t bytes = std::uint64_t{8} * n;
  const std::uint64_t runs = bytes / kRun;
  const std::string head = matrixStart(name, 6, 9, n, bytes);
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  auto pump = [&](const void* p, std::size_t len, int flush) {
    std::string out;
    std::vector<unsigned char> buf(1 << 16);
    z.next_in = static_cast<unsigned char*>(const_cast<void*>(p));
    z.avail_in = static_cast<uInt>(len);
    do {
      z.next_out = buf.data();
      z.avail_out = static_cast<uInt>(buf.size());
      deflate(&z, flush);
      out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
    } while (z.avail_out == 0);
    return out;
  };
  const std::vector<unsigned char> zeros(kRun + bytes % kRun, 0);
  std::string stream = "\x78\xDA";  // zlib header
  stream += pump(head.data(), head.size(), Z_FULL_FLUSH);
  const std::string run = pump(zeros.data(), kRun, Z_FULL_FLUSH);
  for (std::uint64_t k = 0; k < runs; ++k) stream += run;
  stream += pump(zeros.data(), bytes % kRun, Z_FINISH);
  deflateEnd(&z);
  uLong check = adler32(1, reinterpret_cast<const Bytef*>(head.data()), head.size());
  const uLong runCheck = adler32(1, zeros.data(), kRun);
  for (std::uint64_t k = 0; k < runs; ++k) check = adler32_combine(check, runCheck, kRun);
  for (int b = 3; b >= 0; --b) stream.push_back(static_cast<char>(check >> (8 * b)));
  std::string element;
  put32(element, 15);
  put32(element, static_cast<std::uint32_t>(stream.size()));
  return element + stream;
}

class HostileInput : public test::ParametersFolderTest {
 protected:
  HostileInput() : ParametersFolderTest("hostile") {}

  // loadParameters of `record` stored as a parameter file: the dialog text
  // when refused, empty when accepted.
  std::string refusal(const Value& record) {
    const std::string file = path("candidate.mat");
    writeParameterFile(file, record);
    ScopedScriptedDialogs script;
    const double ok = feval1("loadParameters", {Value(file), Value::empty()}).toScalar();
    if (ok == 1) return "";
    return script->shown.empty() ? "refused silently" : script->shown[0].text;
  }
};

TEST_F(HostileInput, OversizedParameterFilesAreRefusedBeforeTheyAreRead) {
  // One compressed variable declaring 1 x 60,000,000 doubles, four of them,
  // an uncompressed array declaring more elements than a parameter set holds,
  // and a 2 GB sparse file behind a valid header.
  const std::string one = path("one.mat"), four = path("four.mat"), wide = path("wide.mat"),
                    huge = path("huge.mat");
  const std::string big = compressedZeros("fileParameters", 60'000'000);
  writeBytes(one, matHeader() + big);
  writeBytes(four, matHeader() + big + big + big + big);
  EXPECT_LT(fs::file_size(four), 4u << 20);
  const std::uint32_t n = (1u << 20) + 8;
  writeBytes(wide, matHeader() + matrixStart("fileParameters", 9, 2, n, n) + std::string(n, '\0'));
  {
    writeBytes(huge,
               matHeader() + matrixStart("fileParameters", 6, 9, 2, 16) + std::string(16, '\0'));
    ASSERT_EQ(::truncate(huge.c_str(), off_t{2} << 30), 0);
  }
  const bool refused = withinMemoryBudget(std::size_t{96} << 20, [&] {
    return refusedReason(one).find("expand to more than 16 MiB") != std::string::npos &&
           refusedReason(four).find("expand to more than 16 MiB") != std::string::npos &&
           refusedReason(wide).find("declares 1 x 1048584 elements") != std::string::npos &&
           refusedReason(huge).find("has 2147483648 bytes") != std::string::npos;
  });
  EXPECT_TRUE(refused);
  EXPECT_NE(refusedReason(one).find(one), std::string::npos);

  // The stored configuration read at start-up is bounded the same way: such a
  // defaults.mat is ignored.
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  fs::copy_file(four, dir / "defaults.mat");
  const Value config = feval1("loadConfig", {});
  fs::current_path(previous);
  EXPECT_TRUE(config.isEmpty());
}

TEST_F(HostileInput, RecordsTheCalculationCannotUseAreRefusedWithTheValue) {
  const Value good = global("parameters");
  auto with = [&](auto change) {
    Value p = good;
    change(p);
    return p;
  };
  struct Case {
    std::string name;
    Value record;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"user data as text", with([](Value& p) {
         p.setField("dataSourceType", 7.0);
         p.setField("dataSourceBitstream", Value("01100001"));
       }),
       "dataSourceBitstream is the text \"01100001\""},
      {"user data without bits", with([](Value& p) { p.setField("dataSourceType", 7.0); }),
       "dataSourceBitstream has 0 bits"},
      {"bits that are not bits", with([](Value& p) {
         p.setField("dataSourceBitstream", Value::row({0, 1, 2}));
       }),
       "holds 2, not a bit"},
      {"user data length", with([](Value& p) {
         p.setField("dataSourceType", 7.0);
         p.setField("dataSourceBitstream", Value::row(std::vector<double>(80, 1.0)));
         p.setField("dataLength", 11.0);
       }),
       "dataLength is 11, but the payload file has 10 octets"},
      {"coding rate", with([](Value& p) { p.setField("encoderRate", 0.6); }),
       "encoderRate is 0.6, not one of 1/2, 2/3, 3/4 or 1"},
      {"header length", with([](Value& p) { p.field("MACheader").setField("Length", 4000.0); }),
       "MACheader.Length is 4000, but the header has 30 octets"},
      {"header half on", with([](Value& p) { p.field("MACheader").setField("Active", 0.5); }),
       "MACheader.Active is 0.5"},
      {"header bits", with([](Value& p) {
         p.field("MACheader")
             .field("Contents")
             .setField("BitStream", Value::row(std::vector<double>(240, 1)));
       }),
       "BitStream has 240 bits that are not the 240 bits of its active fields"},
      {"fcs length", with([](Value& p) { p.field("MACfcs").setField("Length", 6.0); }),
       "MACfcs.Length is 6, but the FCS has 4 octets"},
      {"sub-carrier", with([](Value& p) {
         std::vector<double> m(53, 1.0);
         m[3] = 0.5;
         p.setField("SubCarriers", Value::row(m));
       }),
       "SubCarriers holds 0.5"},
      {"modulation", with([](Value& p) { p.setField("modulation", 5.0); }),
       "modulation is 5, not a whole number from 1 to 4"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string text = refusal(k.record);
    EXPECT_NE(text.find("has an Invalid File Structure."), std::string::npos) << text;
    EXPECT_NE(text.find(k.says), std::string::npos) << text;
    EXPECT_EQ(global("parameters"), good);
  }
}

TEST_F(HostileInput, EveryHeaderTheModelMakesLoadsAndDerivedLengthsAreRecomputed) {
  // Address2, Address3, SeqCntrl and Address4 off: an 80-bit header.
  Value p = global("parameters");
  Value header = p.field("MACheader").field("Contents");
  for (const char* f : {"Address2", "Address3", "SeqCntrl", "Address4"})
    setMacFieldActive(header, f, false);
  setMacField(header, "Address1", 0x123456789AB);
  ASSERT_EQ(header.field("BitStream").numel(), 80u);
  p.field("MACheader").setField("Contents", header);
  p.field("MACheader").setField("Length", 10.0);
  p.field("MACheader").setField("Active", 1.0);
  p.setField("dataLength", 100.0);
  // Derived fields that lie are recomputed from their sources on loading.
  p.setField("totalLength", 5024.0);
  p.setField("dataRate", 6.0);
  EXPECT_EQ(refusal(p), "");
  EXPECT_EQ(global("parameters").field("totalLength").toScalar(), 100.0 + 10.0);
  EXPECT_EQ(global("parameters").field("dataRate").toScalar(), 54.0);
}

TEST_F(HostileInput, AConfigurationThatIsNotARecordIsIgnored) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const NamedValue vars[] = {{"fileParameters", Value(5.0)}};
  writeMatFile("defaults.mat", vars);
  const Value config = feval1("loadConfig", {});
  fs::current_path(previous);
  EXPECT_TRUE(config.isEmpty());
}

TEST_F(HostileInput, ZenfoldRefusesEmptyAndNonFiniteWaveforms) {
  const std::string file = path("w.bin");
  for (const Value& v : {Value::matrix(0, 0, {}), Value::row({1, HUGE_VAL, 0.5}),
                         Value::row({1, std::nan(""), 0.5})}) {
    EXPECT_EQ(feval1("saveZenfoldWaveform", {v, Value(file)}).toScalar(), 0.0);
    EXPECT_FALSE(fs::exists(file));
  }
  EXPECT_EQ(feval1("saveZenfoldWaveform", {Value::row({1, 0.5}), Value(file)}).toScalar(), 1.0);
  EXPECT_EQ(fs::file_size(file), 8u);
}

TEST_F(HostileInput, TheLongestFileNameIsWritable) {
  const std::string name = path(std::string(250, 'n') + ".mat");
  ASSERT_EQ(fs::path(name).filename().string().size(), 254u);
  writeParameterFile(name, global("parameters"));
  EXPECT_TRUE(readParameterFile(name, kParameterFileFormatId).parameters.has_value());
  const std::uint8_t bytes[] = {1, 2, 3};
  writeFileAtomically(name, bytes);
  EXPECT_EQ(fs::file_size(name), 3u);
}

}  // namespace

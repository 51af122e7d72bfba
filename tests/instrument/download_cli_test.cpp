// The download options of the command-line tools, parsed and run against tgx-sim.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/library_fixture.hpp"
#include "download_cli.hpp"
#include "sim_process.hpp"

namespace dot11a {
namespace {

struct Parsed {
  cli::DownloadOptions options;
  bool ok = false;
};

Parsed parse(std::vector<std::string> args) {
  CLI::App app;
  Parsed p;
  cli::addDownloadOptions(app, p.options);
  args.insert(args.begin(), "tool");
  std::vector<const char*> argv;
  for (auto& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
    p.ok = true;
  } catch (const CLI::ParseError&) {
  }
  return p;
}

class DownloadCli : public test::LibraryTest {};

TEST_F(DownloadCli, OptionsBecomeThePlaybackOfTheChosenPlatform) {
  test::SimProcess sim;
  const Parsed p = parse({"--download",
                          "tcpip:" + sim.address(),
                          "--title",
                          "CLI_1",
                          "--frequency",
                          "5.18e9",
                          "--power",
                          "-12",
                          "--filter",
                          "8M",
                          "--blanking",
                          "off",
                          "--marker-polarity",
                          "neg",
                          "--reference",
                          "EXT",
                          "--platform",
                          "c",
                          "--bb-filter",
                          "40M",
                          "--scaling",
                          "80",
                          "--mod-atten",
                          "1.5",
                          "--alc",
                          "on",
                          "--io-timeout",
                          "5"});
  ASSERT_TRUE(p.ok);
  std::vector<cplx> z(100, cplx(0.5, -0.25));
  const Value markers = Value::zeros(2, 100);
  ASSERT_EQ(cli::runDownload(p.options, Value::row(std::span<const cplx>(z)), markers, 4), 0);
  const auto sent = sim.commands();
  ASSERT_GE(sent.size(), 15u);
  const std::vector<std::string> play(sent.end() - 15, sent.end());
  EXPECT_EQ(play, (std::vector<std::string>{
                      " :source:rad:arb:state off",
                      " :source:rad:arb:wav \"arbi:CLI_1\" ",
                      " :source:freq:fix 5180000000Hz",
                      " :source:power:level:immediate:amplitude -12dbm",
                      " :source:rad:arb:clock:srate 80000000Hz",  // 20 MHz times the oversampling
                      " :source:dm:bbfilter 40MHz",
                      " :source:rad:ARB:rscaling 80",
                      ":source:DM:IQAT:AUTO off",
                      ":source:DM:IQAT 1.5",
                      " :pow:alc:state on",
                      " :source:rad:arb:marker:rfblank off",
                      " :source:rad:arb:marker:polarity Neg",
                      " :source:rad:arb:clock:ref ext",
                      " :source:rad:arb:state on",
                      " :output:state on",
                  }));
}

// A long serial transfer asks first; the console answers with the default,
// Cancel, which fails the command, and --yes goes ahead.
TEST_F(DownloadCli, LongSerialTransferNeedsYes) {
  test::SimProcess sim({"--pty"});
  std::vector<cplx> z(12001, cplx(0.5, -0.25));
  const Value iq = Value::row(std::span<const cplx>(z));
  Parsed p = parse({"--download", "serial:" + sim.ptyPath() + ":9600"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(cli::runDownload(p.options, iq, Value(), 2), 1);
  EXPECT_TRUE(sim.log().empty());
  p = parse({"--download", "serial:" + sim.ptyPath() + ":9600", "--yes"});
  EXPECT_EQ(cli::runDownload(p.options, iq, Value(), 2), 0);
  EXPECT_EQ(sim.readFile("DOT11A.iq").size(), 4 * z.size());
}

TEST_F(DownloadCli, RefusesBadSettingsAndReportsFailures) {
  EXPECT_FALSE(parse({"--title", "bad title"}).ok);
  EXPECT_FALSE(parse({"--frequency", "7e9"}).ok);
  // Frequencies with a unit read as the window's fields read them, and the
  // bounds apply to what they say.
  EXPECT_EQ(parse({"--frequency", "5.18 GHz"}).options.frequency, 5.18e9);
  EXPECT_EQ(parse({"--sample-rate", "40MS/s"}).options.sampleRate, 40e6);
  EXPECT_FALSE(parse({"--frequency", "7 GHz"}).ok);
  EXPECT_FALSE(parse({"--frequency", "5 furlongs"}).ok);
  EXPECT_FALSE(parse({"--power", "-3.5"}).ok);
  EXPECT_FALSE(parse({"--filter", "9M"}).ok);
  EXPECT_FALSE(parse({"--platform", "x"}).ok);
  EXPECT_TRUE(parse({}).ok);
  const Value one = Value::row({1.0});
  cli::DownloadOptions o;
  EXPECT_EQ(cli::runDownload(o, one, Value(), 2), 0);  // nothing asked
  o.address = "usb:3";
  EXPECT_EQ(cli::runDownload(o, one, Value(), 2), 1);
  o.address = "tcpip:0.0.0.0";
  EXPECT_EQ(cli::runDownload(o, one, Value(), 2), 1);
}

}  // namespace
}  // namespace dot11a

namespace dot11a {
namespace {

TEST_F(DownloadCli, ALongSerialTransferWithoutYesSaysWhyItDidNotStart) {
  // 600,000 samples at 9600 baud take about 37 minutes; the question comes
  // before the port is opened, so no serial device is needed.
  cli::DownloadOptions o;
  o.address = "serial:/dev/null-dot11a-test:9600";
  const Value iq =
      Value::matrix(1, 600000, std::vector<double>(600000, 0.25), std::vector<double>(600000, 0.0));
  const Value markers = Value::matrix(1, 600000, std::vector<double>(600000, 0.0));
  ::testing::internal::CaptureStderr();
  cli::runDownload(o, iq, markers, 1);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("approximately"), std::string::npos) << said;
  EXPECT_NE(said.find("minutes"), std::string::npos) << said;
  EXPECT_NE(said.find("--yes"), std::string::npos) << said;
}

}  // namespace
}  // namespace dot11a

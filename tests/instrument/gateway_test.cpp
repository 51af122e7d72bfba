// The gateway, download and playback against tgx-sim over loopback (and a
// pseudo-terminal for the serial line), including the faults an instrument
// connection can show.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/instrument.hpp"
#include "sim_process.hpp"

namespace dot11a {
namespace {

using test::SimProcess;
using Clock = std::chrono::steady_clock;

Value tcpConfig(const SimProcess& sim, double timeout = 5) {
  Value c = initConfig();
  c.setField("type", "TCPIP");
  c.field("TCPIP").setField("address", sim.address());
  c.setField("timeout", timeout);
  return c;
}

struct Waveform {
  Value iq;
  Value markers;
  std::vector<cplx> samples;
  std::vector<double> row1, row2;
};

// A burst of a few tones with a quiet tail, markers as the frame assembler
// makes them: row 1 marks the first sample, row 2 the burst.
Waveform makeWaveform(std::size_t n) {
  Waveform w;
  w.samples.resize(n);
  w.row1.assign(n, 0);
  w.row2.assign(n, 0);
  const std::size_t burst = n * 3 / 4;
  for (std::size_t i = 0; i < burst; ++i) {
    const double t = static_cast<double>(i);
    w.samples[i] =
        0.3 * std::polar(1.0, 0.05 * t) + 0.11 * std::polar(1.0, -0.31 * t) + cplx(0.02, -0.04);
    w.row2[i] = 1;
  }
  w.row1[0] = 1;
  w.iq = Value::row(std::span<const cplx>(w.samples));
  std::vector<double> m(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    m[2 * i] = w.row1[i];
    m[2 * i + 1] = w.row2[i];
  }
  w.markers = Value::matrix(2, n, m);
  return w;
}

std::vector<std::int16_t> decodeIq(const std::string& bytes) {
  std::vector<std::int16_t> out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto hi = static_cast<std::uint8_t>(bytes[2 * i]);
    const auto lo = static_cast<std::uint8_t>(bytes[2 * i + 1]);
    out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(hi << 8 | lo));
  }
  return out;
}

std::pair<double, std::string> call2(const char* op, std::initializer_list<Value> in) {
  const std::vector<Value> out = feval(op, 2, in);
  return {out.at(0).toScalar(), out.at(1).isText() ? out.at(1).str() : std::string()};
}

Value settingsRecord(bool platformC) {
  SigGenSettings s;
  s.title = "WAVE1";
  s.frequency = 2.412e9;
  s.amplitude = -10;
  s.samplingRate = 40e6;
  s.reconFilter = 2;
  s.rfBlanking = 1;
  s.markerPolarity = 1;
  s.arbRefSource = 0;
  s.bbFilter = 1;
  s.scaling = 70;
  s.modAtten = 2.5;
  s.alc = 0;
  return toValue(s, platformC);
}

class Instrument : public test::LibraryTest {};

TEST_F(Instrument, PingSendAndQueryReachTheInstrument) {
  SimProcess sim({"--idn", "Test,TGX,42,1.0"});
  const Value config = tcpConfig(sim);
  EXPECT_EQ(call2("hwPing", {config}), std::make_pair(0.0, std::string("Test,TGX,42,1.0")));
  EXPECT_EQ(call2("VerifyComm", {config}).second, "Test,TGX,42,1.0");
  EXPECT_EQ(call2("hwQuery", {config, Value(":SOUR:RAD:ARB:STATe?")}),
            std::make_pair(0.0, std::string("0")));
  EXPECT_EQ(call2("hwSend", {config, Value(" :source:freq:fix 2400000000Hz")}).first, 0);
  const auto bad = call2("hwSend", {config, Value(":source:frequency:fox 1")});
  EXPECT_EQ(bad.first, gateway_status::kInstrumentError);
  EXPECT_NE(bad.second.find("-113"), std::string::npos) << bad.second;
  // The pass-through with an explicit operation code.
  const auto raw =
      feval("hwIO", 2, {Value::int32(3), formatConfig(config), Value(":source:freq:fix?")});
  EXPECT_EQ(raw.at(1).str(), "2400000000Hz");
  EXPECT_THROW(feval("hwIO", 2, {Value::int32(9), formatConfig(config)}), Error);
  EXPECT_EQ(sim.log(), (std::vector<std::string>{"*IDN?", "*IDN?", ":SOUR:RAD:ARB:STATe?",
                                                 " :source:freq:fix 2400000000Hz", ":SYST:ERR?",
                                                 ":source:frequency:fox 1", ":SYST:ERR?",
                                                 ":SYST:ERR?", ":source:freq:fix?"}));
}

TEST_F(Instrument, DownloadStoresFullScaleSamplesAndMarkers) {
  SimProcess sim;
  const Waveform w = makeWaveform(5001);
  // The fourth and fifth inputs are ignored: the samples are always normalised.
  const auto r = call2(
      "hwDownload", {tcpConfig(sim), w.iq, w.markers, Value("raw"), Value(0.25), Value("WAVE1")});
  ASSERT_EQ(r.first, 0) << r.second;

  const std::vector<std::int16_t> iq = decodeIq(sim.readFile("WAVE1.iq"));
  ASSERT_EQ(iq.size(), 2 * w.samples.size());
  double peak = 0;
  for (const cplx& z : w.samples) peak = std::max({peak, std::fabs(z.real()), std::fabs(z.imag())});
  int largest = 0;
  for (std::size_t i = 0; i < w.samples.size(); ++i) {
    EXPECT_NEAR(iq[2 * i], w.samples[i].real() / peak * 32767, 1.0) << i;
    EXPECT_NEAR(iq[2 * i + 1], w.samples[i].imag() / peak * 32767, 1.0) << i;
    largest = std::max({largest, std::abs(int{iq[2 * i]}), std::abs(int{iq[2 * i + 1]})});
  }
  EXPECT_EQ(largest, 32767);
  const std::string mk = sim.readFile("WAVE1.mkr");
  ASSERT_EQ(mk.size(), w.samples.size());
  for (std::size_t i = 0; i < mk.size(); ++i)
    ASSERT_EQ(static_cast<unsigned>(mk[i]), (w.row1[i] ? 1u : 0u) | (w.row2[i] ? 2u : 0u)) << i;
  EXPECT_EQ(sim.commands(), (std::vector<std::string>{":MEM:DATA \"arbi:WAVE1\",#20004",
                                                      ":MEM:DATA \"mkr:WAVE1\",#5001"}));
}

TEST_F(Instrument, DownloadWrapRestoresAPlayingArb) {
  SimProcess sim;
  const Value config = tcpConfig(sim);
  const Waveform w = makeWaveform(64);
  // ARB off before: no restore.
  auto r = call2("TGXDownLoadWrap", {w.iq, w.markers, Value("WAVE1"), config});
  ASSERT_EQ(r.first, 0) << r.second;
  EXPECT_EQ(sim.commands(), (std::vector<std::string>{
                                ":SOUR:RAD:ARB:STATe?", ":SOUR:RAD:ARB:STATe OFF",
                                ":MEM:DATA \"arbi:WAVE1\",#256", ":MEM:DATA \"mkr:WAVE1\",#64"}));
  // Playing before: switched on again after the transfer.
  ASSERT_EQ(hwSend(config, ":source:rad:arb:wav \"arbi:WAVE1\"").status, 0);
  ASSERT_EQ(hwSend(config, ":SOUR:RAD:ARB:STATe ON").status, 0);
  const std::size_t before = sim.commands().size();
  r = call2("TGXDownLoadWrap", {w.iq, w.markers, Value("WAVE1"), config});
  ASSERT_EQ(r.first, 0) << r.second;
  const auto all = sim.commands();
  ASSERT_EQ(all.size(), before + 5);
  EXPECT_EQ(all.back(), ":SOUR:RAD:ARB:STATe ON");
  EXPECT_EQ(hwQuery(config, ":SOUR:RAD:ARB:STATe?").response, "1");
}

TEST_F(Instrument, PlaybackSendsTheExactCommandListOfEachPlatform) {
  SimProcess sim;
  const Value config = tcpConfig(sim);
  const Waveform w = makeWaveform(32);
  ASSERT_EQ(hwDownload(config, w.iq, w.markers, "WAVE1").status, 0);

  // The commands one playback call sent; the call succeeds.
  const auto play = [&](const char* entry, bool platformC) {
    const std::size_t mark = sim.commands().size();
    const auto r = call2(entry, {Value("WAVE1"), settingsRecord(platformC), config});
    EXPECT_EQ(r.first, 0) << entry << ": " << r.second;
    const auto sent = sim.commands();
    return std::vector<std::string>(sent.begin() + static_cast<long>(mark), sent.end());
  };
  // Both platforms stop playback and select the waveform, frequency, power
  // and sample rate first, and set the markers and the clock and start
  // playback last; between them each sets its own filter and baseband.
  const auto around = [](const std::vector<std::string>& own) {
    std::vector<std::string> all = {
        " :source:rad:arb:state off",
        " :source:rad:arb:wav \"arbi:WAVE1\" ",
        " :source:freq:fix 2412000000Hz",
        " :source:power:level:immediate:amplitude -10dbm",
        " :source:rad:arb:clock:srate 40000000Hz",
    };
    all.insert(all.end(), own.begin(), own.end());
    for (const char* last :
         {" :source:rad:arb:marker:rfblank on", " :source:rad:arb:marker:polarity Neg",
          " :source:rad:arb:clock:ref int", " :source:rad:arb:state on", " :output:state on"})
      all.emplace_back(last);
    return all;
  };

  EXPECT_EQ(play("TGXPlay", false), around({" :source:rad:arb:rfilter 2.5Mhz"}));
  EXPECT_EQ(play("TGXPlay_c", true), around({
                                         " :source:dm:bbfilter 2.1MHz",
                                         " :source:rad:ARB:rscaling 70",
                                         ":source:DM:IQAT:AUTO off",
                                         ":source:DM:IQAT 2.5",
                                         " :pow:alc:state off",
                                     }));
}

TEST_F(Instrument, PlaybackReportsTheFirstFailedCommandButSendsTheRest) {
  SimProcess sim(
      {"--error-on", ":source:rad:arb:clock:srate", "--error-text", "-222,\"Data out of range\""});
  const Value config = tcpConfig(sim);
  // No waveform of that name is stored, and the sample rate is refused.
  const auto r = call2("TGXPlay", {Value("MISSING"), settingsRecord(false), config});
  EXPECT_NE(r.first, 0);
  EXPECT_NE(r.second.find(":source:rad:arb:wav \"arbi:MISSING\""), std::string::npos) << r.second;
  EXPECT_NE(r.second.find("-256"), std::string::npos) << r.second;
  EXPECT_EQ(sim.commands().size(), 11u);
  EXPECT_EQ(sim.commands().back(), " :output:state on");
}

TEST_F(Instrument, DownloadAndPlayEndToEnd) {
  SimProcess sim;
  const Waveform w = makeWaveform(2000);
  SigGenSettings s;
  s.title = "E2E";
  const DownloadAndPlayResult r =
      downloadAndPlay(w.iq, w.markers, s, tcpConfig(sim), Platform::B, askOkCancel);
  EXPECT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(r.message(), "Waveform has been successfully transferred to the instrument");
  EXPECT_EQ(sim.readFile("E2E.mkr").size(), 2000u);
  EXPECT_EQ(hwQuery(tcpConfig(sim), ":SOUR:RAD:ARB:STATe?").response, "1");
}

// Every fault ends with a non-zero status and a message in bounded time, and
// the next call works.
TEST_F(Instrument, FaultsEndInAStatusAndTheNextCallWorks) {
  const Waveform w = makeWaveform(300000);
  struct Case {
    std::vector<std::string> simArgs;
    int status;
    const char* words;
  };
  const Case cases[] = {
      {{"--drop-after", "20000"}, gateway_status::kIoFailed, "connection"},
      {{"--stall-after", "20000"}, gateway_status::kIoFailed, "1 s"},
      {{"--stall-on", ":MEM:DATA \"mkr"}, gateway_status::kIoFailed, "No answer"},
      {{"--error-on", ":MEM:DATA", "--error-text", "-781,\"Memory full\""},
       gateway_status::kInstrumentError,
       "-781,\"Memory full\""},
  };
  for (const Case& c : cases) {
    SimProcess sim(c.simArgs);
    const Value config = tcpConfig(sim, 1);
    const auto start = Clock::now();
    const IoResult r = hwDownload(config, w.iq, w.markers, "BIG");
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(r.status, c.status) << c.simArgs[0] << ": " << r.response;
    EXPECT_NE(r.response.find(c.words), std::string::npos) << c.simArgs[0] << ": " << r.response;
    EXPECT_LT(took, 20) << c.simArgs[0];
    const IoResult next = hwPing(config);
    EXPECT_EQ(next.status, 0) << c.simArgs[0] << ": " << next.response;
  }
}

TEST_F(Instrument, ConnectionProblemsAndUnsafeInputAreReported) {
  int freePort = 0;
  {
    SimProcess gone;
    freePort = gone.port();
  }  // stopped: nothing listens there any more
  Value config = initConfig();
  config.setField("type", "TCPIP");
  config.field("TCPIP").setField("address", "127.0.0.1:" + std::to_string(freePort));
  IoResult r = hwPing(config);
  EXPECT_EQ(r.status, gateway_status::kConnectFailed);
  EXPECT_NE(r.response.find("refused"), std::string::npos) << r.response;

  config.field("TCPIP").setField("address", "0.0.0.0");
  r = hwPing(config);
  EXPECT_EQ(r.status, gateway_status::kBadConfiguration);
  EXPECT_NE(r.response.find("not configured"), std::string::npos) << r.response;

  SimProcess sim;
  const Value ok = tcpConfig(sim);
  const Waveform w = makeWaveform(16);
  EXPECT_EQ(hwDownload(ok, w.iq, w.markers, "A\",#15").status, gateway_status::kBadInput);
  EXPECT_EQ(hwSend(ok, ":OUTP ON\n:SYST:PRES").status, gateway_status::kBadInput);
  EXPECT_EQ(hwDownload(ok, w.iq, Value::row({1, 0}), "SHORT").status, gateway_status::kBadInput);
  Value nan = w.iq;
  nan.mutRe()[3] = std::nan("");
  EXPECT_EQ(hwDownload(ok, nan, w.markers, "NAN").status, gateway_status::kBadInput);
  EXPECT_TRUE(sim.log().empty());

  Value gpib = initConfig();  // GPIB by default
  r = hwPing(gpib);
  EXPECT_NE(r.status, 0);
  if (r.status == gateway_status::kNotInstalled) {
    EXPECT_NE(r.response.find("GPIB support is not installed"), std::string::npos);
  }
}

TEST_F(Instrument, SerialLineAndTheTransferTimeQuestion) {
  SimProcess sim({"--pty"});
  ASSERT_FALSE(sim.ptyPath().empty());
  Value config = initConfig();
  config.setField("type", "RS232");
  config.field("RS232").setField("device", sim.ptyPath());
  config.field("RS232").setField("handshake", "RTS/CTS");
  config.setField("timeout", 5.0);
  ASSERT_EQ(hwPing(config).status, 0) << hwPing(config).response;

  ScopedScriptedDialogs script;
  // 12000 samples at 9600 baud take exactly 0.75 minutes: no question.
  const Waveform exact = makeWaveform(12000);
  DownloadResult r = tgxDownload(exact.iq, exact.markers, "SER", config, askOkCancel);
  EXPECT_TRUE(r.ok()) << r.description;
  EXPECT_TRUE(script->shown.empty());
  EXPECT_EQ(sim.readFile("SER.mkr").size(), 12000u);

  // One more sample asks; Cancel (and closing the dialog) sends nothing.
  const std::size_t sent = sim.log().size();
  const Waveform longer = makeWaveform(12001);
  script->answer("Cancel");
  r = tgxDownload(longer.iq, longer.markers, "SER2", config, askOkCancel);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.description, "download cancelled");
  script->answer("");
  const auto op = call2("TGXDownLoadWrap", {longer.iq, longer.markers, Value("SER2"), config});
  EXPECT_EQ(op, std::make_pair(0.0, std::string("download cancelled")));
  ASSERT_EQ(script->shown.size(), 2u);
  EXPECT_EQ(script->shown[0].title, "RS-232 Download");
  EXPECT_EQ(script->shown[0].options, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(sim.log().size(), sent);

  script->answer("Cancel");
  const Waveform huge = makeWaveform(400000);
  EXPECT_TRUE(tgxDownload(huge.iq, huge.markers, "X", config, askOkCancel).cancelled);
  EXPECT_EQ(script->shown.back().text,
            "This Download will take approximately 25 minutes. Do you want to continue?");
  // A LAN connection never asks, whatever the length.
  SimProcess lan;
  EXPECT_TRUE(tgxDownload(huge.iq, huge.markers, "X", tcpConfig(lan), askOkCancel).ok());
  EXPECT_EQ(script->shown.size(), 3u);
}

}  // namespace
}  // namespace dot11a

// The streaming receiver against the receiver of the whole waveform: the same
// frames, whichever way the samples are cut into pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "common/reference_data.hpp"
#include "dot11a/stream_receiver.hpp"
#include "dot11a/synthesis.hpp"

namespace dot11a::rx {
namespace {

// Frames of several rates and lengths (the longest among them) with idle gaps
// and noise, and a frame cut short by the end of the waveform.
std::vector<cplx> severalFrames(int os) {
  std::mt19937 rng(17);
  std::normal_distribution<double> noise(0.0, 0.002);
  std::vector<cplx> x(1000 * static_cast<std::size_t>(os));
  const std::pair<double, std::size_t> frames[] = {
      {6, 4095}, {54, 300}, {12, 1}, {24, 1500}, {6, 200}};
  for (const auto& [mbps, octets] : frames) {
    FrameSettings s;
    s.dataRate = mbps;
    s.data.modulation = mbps == 6 ? 1 : mbps == 12 ? 2 : mbps == 24 ? 3 : 4;
    s.data.encoderRate = mbps == 54 ? kRate3_4 : kRate1_2;
    s.data.oversampling = os;
    s.idleSamples = 3000LL * os;
    const Frame f = synthesizeFrame(s, test::randomBits(8 * octets, rng));
    x.insert(x.end(), f.waveform.begin(), f.waveform.end());
  }
  x.resize(x.size() - 3000 * static_cast<std::size_t>(os) - 400);  // the last one cut short
  for (cplx& v : x) v += cplx(noise(rng), noise(rng));
  return x;
}

TEST(RxStream, FramesAreThoseOfTheWholeWaveformWhereverTheChunksEnd) {
  for (const int os : {1, 2}) {
    const std::vector<cplx> x = severalFrames(os);
    Options o;
    o.sampleRate = 20e6 * os;
    const Result whole = receive(x, o);
    ASSERT_EQ(whole.frames.size(), 5u);
    ASSERT_TRUE(whole.frames.back().truncated);
    // One sample at a time through the first frames, odd sizes that end
    // inside frames, and everything at once.
    for (const std::size_t chunk :
         {std::size_t{1}, std::size_t{977}, std::size_t{65536}, x.size()}) {
      SCOPED_TRACE(::testing::Message() << "os " << os << " chunk " << chunk);
      std::vector<FrameReport> got;
      StreamReceiver s(o, [&](FrameReport&& f) { got.push_back(std::move(f)); });
      const std::size_t ones = chunk == 1 ? x.size() / 2 : x.size();
      std::size_t at = 0;
      for (; at < ones; at += chunk)
        s.push(std::span(x).subspan(at, std::min(chunk, x.size() - at)));
      if (at < x.size()) s.push(std::span(x).subspan(at));
      s.finish();
      ASSERT_EQ(got.size(), whole.frames.size());
      for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].start, whole.frames[i].start);
        EXPECT_EQ(got[i].psdu, whole.frames[i].psdu);
        EXPECT_EQ(got[i].truncated, whole.frames[i].truncated);
        EXPECT_NEAR(got[i].evmDb, whole.frames[i].evmDb, 0.01);
        EXPECT_NEAR(got[i].cfoHz, whole.frames[i].cfoHz, 1.0);
      }
      EXPECT_EQ(s.samplesSeen(), x.size());
    }
  }
}

// A capture with the capturing receiver's carrier leakage (a DC component 7
// dB below the frames, which hides them from a search that leaves it in) and
// frames 40 kHz off their carrier: streamed in small pieces, it decodes as
// the whole waveform does.
TEST(RxStream, CaptureDcIsRemovedAsInTheWholeWaveform) {
  std::vector<cplx> x = severalFrames(1);
  for (std::size_t i = 0; i < x.size(); ++i)
    x[i] = x[i] * std::polar(1.0, -2.0 * std::numbers::pi * 40e3 * static_cast<double>(i) / 20e6) +
           std::polar(std::sqrt(52.0 / 4096.0 * std::pow(10.0, -0.7)), 0.7);
  Options o;
  const Result whole = receive(x, o);
  ASSERT_EQ(whole.frames.size(), 5u);
  for (const std::size_t chunk : {std::size_t{977}, std::size_t{65536}}) {
    SCOPED_TRACE(chunk);
    std::vector<FrameReport> got;
    StreamReceiver s(o, [&](FrameReport&& f) { got.push_back(std::move(f)); });
    for (std::size_t at = 0; at < x.size(); at += chunk)
      s.push(std::span(x).subspan(at, std::min(chunk, x.size() - at)));
    s.finish();
    ASSERT_EQ(got.size(), whole.frames.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].decoded(), !got[i].truncated);
      EXPECT_EQ(got[i].psdu, whole.frames[i].psdu);
      EXPECT_NEAR(got[i].cfoHz, -40e3, 1e3);
      EXPECT_NEAR(got[i].evmDb, whole.frames[i].evmDb, 0.5);
      EXPECT_NEAR(got[i].centerLeakageDb, whole.frames[i].centerLeakageDb, 0.5);
    }
  }
}

// Single-precision samples (as a cf32 file holds them), with NaN and
// infinities among them, give the reports of the same samples pushed as
// doubles: the same values, the same samples cleaned and counted. An odd
// chunk leaves a lone sample at the end of each push.
TEST(RxStream, FloatSamplesGiveTheReportsOfTheSameSamplesAsDoubles) {
  const std::vector<cplx> x0 = severalFrames(1);
  std::vector<std::complex<float>> xf(x0.size());
  for (std::size_t i = 0; i < x0.size(); ++i)
    xf[i] = {static_cast<float>(x0[i].real()), static_cast<float>(x0[i].imag())};
  const float inf = std::numeric_limits<float>::infinity();
  const std::size_t bad[] = {5, 6, 2001, 10746, 40001, 40002, 40003, 90001};
  for (std::size_t k = 0; k < std::size(bad); ++k)
    (k % 2 ? xf[bad[k]].real(std::nanf("")) : xf[bad[k]].imag(k % 3 ? inf : -inf));
  std::vector<cplx> xd(xf.begin(), xf.end());
  Options o;
  auto streamed = [&](const auto& x, std::uint64_t& cleaned) {
    std::vector<FrameReport> got;
    StreamReceiver s(o, [&](FrameReport&& f) { got.push_back(std::move(f)); });
    for (std::size_t at = 0; at < x.size(); at += 977)
      s.push(std::span(x).subspan(at, std::min<std::size_t>(977, x.size() - at)));
    s.finish();
    cleaned = s.nonFiniteSamples();
    return got;
  };
  std::uint64_t badD = 0, badF = 0;
  const std::vector<FrameReport> d = streamed(xd, badD), f = streamed(xf, badF);
  EXPECT_EQ(badD, std::size(bad));
  EXPECT_EQ(badF, badD);
  ASSERT_EQ(d.size(), 5u);
  ASSERT_EQ(f.size(), d.size());
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].start, d[i].start);
    EXPECT_EQ(f[i].psdu, d[i].psdu);
    EXPECT_EQ(f[i].evmDb, d[i].evmDb);
    EXPECT_EQ(f[i].cfoHz, d[i].cfoHz);
    EXPECT_EQ(f[i].notes, d[i].notes);
  }
}

TEST(RxStream, RefusesRatesItCannotWorkAtAndStopsAtMaxFrames) {
  Options o;
  for (double rate : {25e6, 1e300, -20e6, std::nan("")}) {
    o.sampleRate = rate;
    EXPECT_THROW(StreamReceiver(o, [](FrameReport&&) {}), std::runtime_error) << rate;
  }
  o.sampleRate = 20e6;
  o.maxFrames = 2;
  o.fftBackoff = std::nan("");  // taken as no back-off
  const std::vector<cplx> x = severalFrames(1);
  std::size_t count = 0;
  StreamReceiver s(o, [&](FrameReport&& f) { count += f.passed() ? 1 : 0; });
  s.push(x);
  s.finish();
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(s.full());
}

}  // namespace
}  // namespace dot11a::rx

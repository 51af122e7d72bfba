// The synthesis stages as a caller reaches them through the exported entry
// points: the mapper, the pilot sequence, the OFDM symbol, the training
// sequences, windowing, overlap-add and the DAC compensation, pinned down by the
// worked example of IEEE 802.11a-1999 Annex G and by laws that hold for any input.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "common/library_fixture.hpp"
#include "common/reference_data.hpp"
#include "dot11a/library.hpp"

namespace {

using dot11a::cplx;
using dot11a::Value;

using dot11a::test::annexG;
using dot11a::test::complexTable;

Value bitRow(const nlohmann::json& j) {
  std::vector<double> b;
  for (const auto& e : j) b.push_back(e.get<double>());
  return Value::row(b);
}

std::vector<cplx> samplesOf(const Value& v) {
  std::vector<cplx> s(v.numel());
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = v.complexAt(i);
  return s;
}

// The table values are rounded to three decimals.
void expectNear(const std::vector<cplx>& got, const std::vector<cplx>& want, const char* what) {
  ASSERT_GE(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_NEAR(got[i].real(), want[i].real(), 0.0015) << what << " sample " << i;
    ASSERT_NEAR(got[i].imag(), want[i].imag(), 0.0015) << what << " sample " << i;
  }
}

// Forward DFT without the 1/N factor: the bins an inverse DFT with 1/N came from.
std::vector<cplx> dft(const std::vector<cplx>& x, std::size_t from, std::size_t n) {
  std::vector<cplx> out(n);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t t = 0; t < n; ++t)
      out[k] +=
          x[from + t] * std::polar(1.0, -2.0 * std::numbers::pi * double(k * t % n) / double(n));
  return out;
}

Value ones(std::size_t n) {
  return Value::row(std::vector<double>(n, 1.0));
}

class Stages : public dot11a::test::LibraryTest {};

TEST_F(Stages, PilotPolarityIsTheSequenceOfTheStandardForEveryIndex) {
  // p_0 ... p_126 as the standard lists them.
  const int p[127] = {1,  1,  1,  1,  -1, -1, -1, 1,  -1, -1, -1, -1, 1,  1,  -1, 1,  -1, -1, 1,
                      1,  -1, 1,  1,  -1, 1,  1,  1,  1,  1,  1,  -1, 1,  1,  1,  -1, 1,  1,  -1,
                      -1, 1,  1,  1,  -1, 1,  -1, -1, -1, 1,  -1, 1,  -1, -1, 1,  -1, -1, 1,  1,
                      1,  1,  1,  -1, -1, 1,  1,  -1, -1, 1,  -1, 1,  -1, 1,  1,  -1, -1, -1, 1,
                      1,  -1, -1, -1, -1, 1,  -1, -1, 1,  -1, 1,  1,  1,  1,  -1, 1,  -1, 1,  -1,
                      1,  -1, -1, -1, -1, -1, 1,  -1, 1,  1,  -1, 1,  -1, 1,  1,  1,  -1, -1, 1,
                      -1, -1, -1, 1,  1,  1,  -1, -1, -1, -1, -1, -1, -1};
  for (int i = 0; i < 127; ++i) {
    EXPECT_EQ(mlfDot11a_Pilot(Value(double(i))).toScalar(), p[i]) << "index " << i;
    // The sequence repeats every 127 symbols, in both directions.
    EXPECT_EQ(mlfDot11a_Pilot(Value(double(i + 127 * 1000))).toScalar(), p[i]) << "index " << i;
    EXPECT_EQ(mlfDot11a_Pilot(Value(double(i - 127 * 3))).toScalar(), p[i]) << "index " << i;
  }
  // Beyond the range of a 64-bit integer the index is still reduced exactly:
  // 2^63 = (2^7)^9 and 2^7 = 128 = 1 (mod 127).
  EXPECT_EQ(mlfDot11a_Pilot(Value(std::ldexp(1.0, 63))).toScalar(), p[1]);
  EXPECT_EQ(mlfDot11a_Pilot(Value(std::ldexp(1.0, 70))).toScalar(), p[1]);
  EXPECT_EQ(mlfDot11a_Pilot(Value(-std::ldexp(1.0, 63))).toScalar(), p[126]);
  EXPECT_THROW(mlfDot11a_Pilot(Value(2.5)), dot11a::Error);
  EXPECT_THROW(mlfDot11a_Pilot(Value(std::nan(""))), dot11a::Error);
}

TEST_F(Stages, MapperAndSymbolRebuildTheFirstDataSymbolOfTheExample) {
  // 16-QAM points of the interleaved bits, pilot polarity p_1, one times
  // oversampling, no window, every sub-carrier on: the bins of the standard.
  const Value points =
      mlfDot11a_ConvertToIQ(bitRow(annexG()["first_data_symbol_interleaved_bits"]), Value("QAM16"));
  ASSERT_EQ(points.numel(), 48u);
  const Value pilot = mlfDot11a_Pilot(Value(1.0));
  const Value symbol =
      mlfDot11a_SymbolBuild(points, pilot, Value(1.0), Value(0.0), ones(64), Value(0.0));
  const std::vector<cplx> s = samplesOf(symbol);
  ASSERT_EQ(s.size(), 80u);
  expectNear(dft(s, 16, 64), complexTable(annexG()["first_data_symbol_freq"]), "DATA 1 bins");
  // The first 16 samples are the cyclic prefix: a copy of the last 16.
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(s[i], s[64 + i]) << i;

  // Oversampling adds zero bins at the band edges and a window adds its tail.
  const Value wide =
      mlfDot11a_SymbolBuild(points, pilot, Value(2.0), Value(3.0), ones(64), Value(0.0));
  EXPECT_EQ(wide.numel(), 163u);
}

TEST_F(Stages, MapperPointsHaveUnitAveragePower) {
  // Every bit pattern of a point once: the normalisation makes the mean power 1.
  struct Case {
    const char* format;
    int bits;
  };
  for (const Case& c : {Case{"BPSK", 1}, Case{"QPSK", 2}, Case{"QAM16", 4}, Case{"QAM64", 6}}) {
    std::vector<double> bits;
    for (int v = 0; v < (1 << c.bits); ++v)
      for (int b = c.bits - 1; b >= 0; --b) bits.push_back((v >> b) & 1);
    const Value points = mlfDot11a_ConvertToIQ(Value::row(bits), Value(c.format));
    ASSERT_EQ(points.numel(), std::size_t(1) << c.bits) << c.format;
    double power = 0;
    for (std::size_t i = 0; i < points.numel(); ++i) power += std::norm(points.complexAt(i));
    EXPECT_NEAR(power / double(points.numel()), 1.0, 1e-12) << c.format;
  }
  // Bits that are not a whole number of points are refused.
  EXPECT_THROW(mlfDot11a_ConvertToIQ(Value::row({1, 0, 1}), Value("QPSK")), dot11a::Error);
}

TEST_F(Stages, TrainingSequencesAreThoseOfTheExample) {
  const Value shortSeq = mlfDot11a_ShortSeq(Value(1.0), Value(1.0), ones(64), Value(0.0));
  const Value longSeq = mlfDot11a_LongSeq(Value(1.0), Value(1.0), ones(64), Value(0.0));
  ASSERT_EQ(shortSeq.numel(), 161u);
  ASSERT_EQ(longSeq.numel(), 161u);
  expectNear(samplesOf(shortSeq), complexTable(annexG()["short_training_time"]), "short");
  expectNear(samplesOf(longSeq), complexTable(annexG()["long_training_time"]), "long");
  // Without a window: ten short symbols of 16 samples repeat with period 16; the
  // long sequence is a 32-sample guard and two copies of its 64-sample period.
  const auto s = samplesOf(mlfDot11a_ShortSeq(Value(1.0), Value(0.0), ones(64), Value(0.0)));
  const auto l = samplesOf(mlfDot11a_LongSeq(Value(1.0), Value(0.0), ones(64), Value(0.0)));
  ASSERT_EQ(s.size(), 160u);
  ASSERT_EQ(l.size(), 160u);
  for (std::size_t i = 16; i < 160; ++i) EXPECT_NEAR(std::abs(s[i] - s[i - 16]), 0, 1e-12) << i;
  for (std::size_t i = 0; i < 64; ++i) {
    EXPECT_NEAR(std::abs(l[32 + i] - l[96 + i]), 0, 1e-12) << i;
    if (i < 32) {
      EXPECT_NEAR(std::abs(l[i] - l[64 + i]), 0, 1e-12) << i;
    }
  }
  // A mask that switches every sub-carrier off leaves nothing.
  const Value off = mlfDot11a_LongSeq(Value(2.0), Value(0.0),
                                      Value::row(std::vector<double>(64, 0.0)), Value(0.0));
  EXPECT_EQ(off.numel(), 320u);
  for (std::size_t i = 0; i < off.numel(); ++i) EXPECT_EQ(off.complexAt(i), cplx(0, 0));
}

TEST_F(Stages, WindowedPiecesOverlapAddBackToTheSignal) {
  // A constant piece of 80 samples (16 of them prefix), window of 4: the head
  // rises, the tail is the continuation of the body falling, and the rising and
  // falling weights of a joint add up to one.
  const int w = 4;
  const Value piece = ones(80);
  const Value windowed = mlfDot11a_Windowing(piece, Value(double(w)), Value(0.25));
  ASSERT_EQ(windowed.numel(), 84u);
  for (int i = 1; i <= w; ++i) {
    const double rise = 0.5 - 0.5 * std::cos((i - 0.5) * std::numbers::pi / w);
    EXPECT_NEAR(windowed.real(std::size_t(i - 1)), rise, 1e-15) << i;
    EXPECT_NEAR(windowed.real(std::size_t(84 - i)), rise, 1e-15) << i;
  }
  for (std::size_t i = w; i < 80; ++i) EXPECT_EQ(windowed.real(i), 1.0) << i;

  const Value joined = mlfDot11a_StitchSubFrames(windowed, windowed, Value(double(w)));
  ASSERT_EQ(joined.numel(), 84u + 84u - w);
  for (std::size_t i = w; i < 160; ++i) EXPECT_NEAR(joined.real(i), 1.0, 1e-15) << i;

  // The extension continues the body cyclically: sample 16 onwards of a ramp.
  std::vector<double> ramp(80);
  for (std::size_t i = 0; i < 80; ++i) ramp[i] = double(i);
  const Value ext = mlfDot11a_Windowing(Value::row(ramp), Value(2.0), Value(0.25));
  ASSERT_EQ(ext.numel(), 82u);
  const double f1 = 0.5 - 0.5 * std::cos(0.5 * std::numbers::pi / 2);
  const double f2 = 0.5 - 0.5 * std::cos(1.5 * std::numbers::pi / 2);
  EXPECT_NEAR(ext.real(80), 16 * f2, 1e-12);
  EXPECT_NEAR(ext.real(81), 17 * f1, 1e-12);
  // No window: the piece as it is.
  EXPECT_EQ(mlfDot11a_Windowing(Value::row(ramp), Value(0.0), Value(0.25)).numel(), 80u);
}

TEST_F(Stages, StitchingOverlapAddsAndKeepsEveryOtherSample) {
  const Value a = Value::row({1, 2, 3, 4, 5});
  const Value b = Value::row({10, 20, 30});
  EXPECT_EQ(mlfDot11a_StitchSubFrames(a, b, Value(2.0)), Value::row({1, 2, 3, 14, 25, 30}));
  EXPECT_EQ(mlfDot11a_StitchSubFrames(a, b, Value(0.0)), Value::row({1, 2, 3, 4, 5, 10, 20, 30}));
  // Nothing before: the second piece alone.
  EXPECT_EQ(mlfDot11a_StitchSubFrames(Value::empty(), b, Value(2.0)), b);
  // An overlap longer than a piece cannot be added.
  EXPECT_THROW(mlfDot11a_StitchSubFrames(a, b, Value(4.0)), dot11a::Error);
}

TEST_F(Stages, SincCompensationUndoesTheHoldOfADac) {
  // Bin k of n sits at k/n of the sample rate (negative frequencies in the upper
  // half); the DAC's hold multiplies it by sinc(k/n), the compensation divides.
  const std::size_t n = 16;
  std::vector<cplx> y(n);
  for (std::size_t k = 0; k < n; ++k) y[k] = cplx(1.0 + double(k), 0.5 * double(k) - 3);
  const Value x = mlfSincCompensation(Value::row(std::span<const cplx>(y)));
  ASSERT_EQ(x.numel(), n);
  for (std::size_t k = 0; k < n; ++k) {
    const double f = (k < n / 2 ? double(k) : double(k) - double(n)) / double(n);
    const double hold = f == 0 ? 1.0 : std::sin(std::numbers::pi * f) / (std::numbers::pi * f);
    EXPECT_NEAR(std::abs(x.complexAt(k) * hold - y[k]), 0, 1e-12) << "bin " << k;
  }
  EXPECT_EQ(x.real(0), 1.0);                                      // DC passes unchanged
  EXPECT_NEAR(x.real(n / 2), 9.0 * std::numbers::pi / 2, 1e-12);  // half the rate: 1/sinc(-1/2)
  EXPECT_THROW(mlfSincCompensation(Value("text")), dot11a::Error);
}

}  // namespace

// The 802.11a verification receiver: finds every frame in a complex baseband
// waveform, synchronises on its training fields, decodes SIGNAL and DATA and
// measures the transmitter the way IEEE 802.11a-1999 clause 17.3.9 describes
// (modulation accuracy, spectral flatness, transmit spectrum mask).
//
// Typed and self-contained: samples in, reports out. Nothing here asks the user
// anything or prints anything.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"
#include "dot11a/rate_table.hpp"

DOT11A_API_BEGIN

namespace dot11a::rx {

using cplx = std::complex<double>;

enum class FcsCheck {
  Auto,  // good when the last four octets are a matching FCS, otherwise "none found"
  On,    // the PSDU ends in an FCS: a mismatch is a failure
  Off    // no FCS is expected
};

struct FrameReport;

// The channel estimate the measurements take (EVM, flatness, the channel
// reported). Decoding always takes the best the frame allows.
enum class ChannelEstimate {
  // From the two long training periods alone, as clause 17.3.9.7 measures
  // the modulation accuracy: the default.
  Preamble,
  // The same projected onto an impulse response of 16 taps (the guard
  // interval's length), which keeps a third of the estimate's noise; the
  // least-squares one where the channel is longer.
  Smoothed,
  // Re-estimated from the training and the decoded DATA field, re-encoded
  // and re-modulated: the known points of every symbol.
  DataAided
};

// The estimates' names, as dot11a-verify, Python and the window take them:
// "preamble", "smoothed", "data-aided".
std::string_view channelEstimateName(ChannelEstimate estimate);
// The estimate of a name; none for any other text.
std::optional<ChannelEstimate> channelEstimateNamed(std::string_view name);

// The transmit mask a frame is held to: the OFDM PHY's own, or one of the
// four emission classes of 10 MHz channels at 5.9 GHz (A to D, each stricter
// beyond the channel edge). All are 0 dBr out to 0.45 channel spacings and
// scale with the spacing as the PHY's own does.
enum class EmissionMask { Standard, ClassA, ClassB, ClassC, ClassD };
// "standard", "class-a" .. "class-d".
std::string_view emissionMaskName(EmissionMask mask);
std::optional<EmissionMask> emissionMaskNamed(std::string_view name);

struct Options {
  double sampleRate = 20e6;  // samples per second of the input
  // The channel spacing of the frames sought. None (auto): 20 MHz frames,
  // and when none of those decodes, 10 and then 5 MHz frames where the
  // sample rate holds them (their short training repeats every 1.6 or
  // 3.2 us instead of 0.8 us). Every time, rate and frequency reported is at
  // the frames' spacing; the limits are those of that spacing (the mask's
  // offsets scale with it, the EVM and flatness limits stay).
  std::optional<ChannelSpacing> spacing{};
  EmissionMask mask = EmissionMask::Standard;
  FcsCheck fcs = FcsCheck::Auto;
  // How many samples (at 20 MHz) each FFT window starts before the end of the
  // cyclic prefix; the same for the long training and every symbol, so the
  // phase ramp it causes is part of the channel estimate. Inside the prefix,
  // a timing error of a few samples either way (a sampling clock offset, a
  // late estimate) turns the sub-carriers, which the pilots take out, instead
  // of bringing the next symbol into the window.
  double fftBackoff = 4.0;
  std::size_t maxFrames = 256;
  ChannelEstimate channelEstimate = ChannelEstimate::Preamble;
  bool measureMask = true;
  // Measure the flatness as a zero-order-hold DAC clocked at the waveform's
  // rate would put it on air: for waveforms made with that DAC's compensation.
  bool dacDroop = false;
  // Keep the equalised points (FrameReport::dataPoints, pilotPoints) of at
  // most this many DATA symbols of each frame; 0 keeps none. A bound, since a
  // long capture holds thousands of frames.
  std::size_t keepPointsSymbols = 0;
  // Called by receive() as each frame's report is ready, with the input
  // samples searched so far; returning false ends the search there (the
  // frames so far are the result). Called on the receiving thread.
  std::function<bool(const FrameReport& frame, std::size_t samplesSearched)> onFrame = nullptr;
};

enum class FcsState { NotChecked, Good, Bad, NoneFound };

struct FrameReport {
  std::size_t start = 0;  // first sample of the short training, in input samples
  ChannelSpacing spacing = ChannelSpacing::MHz20;  // the frame's channel spacing
  bool mirrored = false;                           // the spectrum was mirrored (I and Q swapped)
  double cfoHz = 0.0;                              // carrier frequency offset of the frame
  // Sampling clock offset of the input against the nominal rate, from the
  // pilots: positive when the frame takes more samples than it should (the
  // capturing clock runs fast against the transmitting one).
  double clockOffsetPpm = 0.0;
  // Standard error of that offset: how far it spreads over frames of one
  // waveform (the pilots' noise and the channel estimate's, which every
  // symbol shares). A short frame gives too few symbols to tell a few ppm
  // from nothing.
  double clockOffsetSigmaPpm = 0.0;
  // IQ modulator imbalance: gain of the quadrature branch against the
  // in-phase one and its departure from 90 degrees, from the long training
  // and the DATA symbols' mirror sub-carriers (0 when not determined).
  double iqGainImbalanceDb = 0.0;
  double iqPhaseImbalanceDeg = 0.0;

  // SIGNAL field (clause 17.3.4)
  bool signalParityOk = false;
  bool signalTailOk = false;
  bool rateValid = false;
  double rateMbps = 0.0;
  unsigned rateBits = 0;  // R1..R4, R1 in the least significant bit
  unsigned length = 0;    // LENGTH in octets
  bool reservedBitZero = false;
  // The samples after SIGNAL hold the DATA field it announces: none of its
  // symbols is silence or the next frame's short training. A frame whose
  // SIGNAL the samples contradict is not decoded.
  bool signalFits = true;

  // DATA field (clause 17.3.5)
  std::size_t dataSymbols = 0;
  bool truncated = false;              // the waveform ends before the DATA field does
  unsigned scramblerSeed = 0;          // initial state recovered from SERVICE, 0..127
  unsigned serviceBits = 0;            // the 16 SERVICE bits after descrambling, first in LSB
  bool dataTailOk = false;             // the six tail bits decode to zero
  std::vector<std::uint8_t> psduBits;  // LENGTH x 8 bits, first bit first
  std::vector<std::uint8_t> psdu;      // the same as octets, first bit in the LSB
  FcsState fcs = FcsState::NotChecked;
  std::uint32_t fcsReceived = 0, fcsComputed = 0;

  // Modulation accuracy (clause 17.3.9.7), over the data sub-carriers of the
  // DATA symbols, pilots used to track the common phase and the sampling clock.
  double evmRms = 0.0;  // linear, relative to the constellation's mean power
  double evmDb = 0.0;
  double evmPercent = 0.0;
  double evmLimitDb = 0.0;
  bool evmPass = false;
  std::vector<double> evmPerSubcarrierDb;  // 53 entries, -26..+26; NaN where no data
  std::vector<double> evmPerSymbolDb;      // one per DATA symbol
  std::vector<cplx> channel;               // 53 entries, -26..+26, from the long training
  // The equalised points of the first Options::keepPointsSymbols DATA
  // symbols, in units of the constellation's mean power: 48 data
  // sub-carriers a symbol (-26..+26 without the pilots and DC), and apart the
  // 4 pilots a symbol (-21, -7, +7, +21) as sent, polarity included.
  std::vector<std::complex<float>> dataPoints, pilotPoints;

  // Spectral flatness (clause 17.3.9.6) of the channel estimate.
  std::vector<double> flatnessDb;  // 53 entries relative to the mean of -16..+16; NaN at DC
  double flatnessWorstMarginDb = 0.0;
  int flatnessWorstSubcarrier = 0;
  bool flatnessPass = false;

  // Transmit spectrum mask (clause 17.3.9.2), only where the sample rate reaches.
  bool maskMeasured = false;
  double maskCoveredHz = 0.0;  // the mask is checked for |f| up to this
  double maskWorstMarginDb = 0.0;
  double maskWorstFrequencyHz = 0.0;
  bool maskPass = false;

  // Centre-frequency leakage (clause 17.3.9.5): the power of the DC
  // component the frame arrives with, at 0 Hz of the capture and at the
  // frame's own carrier, relative to the frame's power; the limit is -15 dB.
  // The receiver removes it before it decodes.
  double centerLeakageDb = -300.0;
  bool centerLeakagePass = true;

  // Sub-carriers that carry nothing: far below the others in a channel that
  // is otherwise flat around them (a sub-carrier mask). They fail the frame
  // and are left out of the measurements.
  std::vector<int> disabledSubcarriers;
  // Sub-carriers in a fade (10 dB or more below the mean, as a multipath
  // notch puts them) and their levels in dB against the mean: decoded and
  // measured, their soft bits and pilots counting by their power.
  std::vector<int> fadedSubcarriers;
  std::vector<double> fadedLevelsDb;
  std::vector<std::string> problems;  // readable sentences, empty when all is well
  std::vector<std::string> notes;     // readable remarks that are not failures

  // SIGNAL is sound, the DATA field is complete and its FCS (when checked)
  // matches: the PSDU is what was sent. A tail that is not zero is the
  // transmitter's fault, not the decoding's.
  bool decoded() const;
  // Decoded, the DATA tail is zero and every measurement is within its limit.
  bool passed() const;
  // The frame measures the sampling clock: its offset stands three standard
  // errors and 1 ppm away from zero. Otherwise it cannot tell the offset
  // from none, and reports show none.
  bool clockOffsetMeasured() const;
};

struct Result {
  std::vector<FrameReport> frames;
  double sampleRate = 0.0;  // of the input
  std::string problem;      // why nothing was decoded (empty when frames were found)
  // Samples counted as 0: not numbers, and lone spikes 60 dB above both
  // their neighbours (each frame notes those that lay in it).
  std::uint64_t nonFiniteSamples = 0, spikeSamples = 0;
  bool passed() const;  // at least one frame, and every frame passed
};

// Finds and decodes every frame of the waveform.
Result receive(std::span<const cplx> samples, const Options& options = {});

// What a waveform of our own synthesis was made with, as far as its
// reception depends on it.
struct MadeWith {
  double sampleRate = 20e6;
  bool dacPrecompensated = true;  // the synthesis pre-compensates the DAC's droop
  bool fcs = false;               // every PSDU ends in an FCS
  double windowSamples = 0.0;     // the symbols' window, in samples at sampleRate
  int oversampling = 1;
  ChannelSpacing spacing = ChannelSpacing::MHz20;
};
// The receiver's options for such a waveform, the same wherever it is
// verified (dot11a-gen --verify, the window's Demodulate): flatness after the
// DAC's droop when pre-compensated, the FCS on or off as made, and the FFT
// starting behind the part of the cyclic prefix the window overlaps.
Options optionsFor(const MadeWith& made);

// ---- the ideal receiver ----------------------------------------------------------------

// What the ideal receiver is told of a frame instead of finding it out.
struct IdealReference {
  // The same samples as the received ones without the noise: the frame as it
  // arrives through its channel and impairments. The channel of every
  // sub-carrier is taken from its long training, exactly, and the noise
  // from the difference to the received samples.
  std::span<const cplx> clean;
  // The first sample of the frame's short training, in input samples.
  std::size_t start = 0;
  // The carrier offset both carry, taken out exactly.
  double carrierOffsetHz = 0.0;
};

// Decodes the one frame at `reference.start` the way no real receiver can:
// timing, carrier offset and channel as they are (from the reference), no
// phase or clock tracking, exact log-likelihood ratios from the noise's true
// power per sub-carrier, and a Viterbi decoder in double precision with
// nothing quantised. The bound a receiver's sensitivity is measured against.
// The input rate must be 20 MHz times a whole number (1 to 16), `received`
// and `reference.clean` as long as each other; a channel or clock that moves
// within the frame is not followed. Options give the rate, the FCS check and
// the FFT back-off (the windows start that many samples before the end of
// each cyclic prefix, as the receiver's do). Reports the SIGNAL and DATA
// fields, the PSDU and its FCS (decoded() tells whether the frame came
// through), and the channel; none of the transmitter's measurements.
FrameReport decodeIdeal(std::span<const cplx> received, const IdealReference& reference,
                        const Options& options = {});

// ---- the stages, exposed for tests and for other measurements ------------------------

// RMS EVM limit in dB for a data rate in Mbit/s (Table 90); 0 for a rate not in it.
double evmLimitDb(double rateMbps);

// Soft-decision Viterbi decoder of the K = 7 code (133, 171 octal) for rate
// 1/2, 2/3 or 3/4: `soft` holds one value per transmitted coded bit (positive
// for a one, 0 for nothing known); the punctured positions are restored as
// erasures. Returns `nBits` decoded bits. With `terminated` the path ends in
// state zero. The values count in proportion to their size (any scale; a
// value beyond twice their mean magnitude counts as twice it); infinite ones
// count as that bound, NaN as nothing known.
std::vector<std::uint8_t> viterbiDecode(std::span<const float> soft, double codingRate,
                                        std::size_t nBits, bool terminated);

// The scrambler seed (0..127) whose first seven outputs are these bits.
unsigned seedFromFirstBits(std::span<const std::uint8_t> first7);

// Power spectral density of the samples (Welch, Hann, about 100 kHz resolution),
// frequencies in Hz from -fs/2 and densities relative to their maximum in dB.
struct Spectrum {
  std::vector<double> frequencyHz, dBr;
  double rbwHz = 0.0;  // the resolution (noise) bandwidth of the window
};
Spectrum powerSpectrum(std::span<const cplx> samples, double sampleRate);
struct SpectrumOptions {
  // About this resolution: the FFT length is rounded to a whole number of
  // samples, from 16 to 65536; `rbwHz` of the result tells the actual one.
  double rbwHz = 100e3;
  // Every half-overlapped segment however long the input; otherwise a long
  // input is sampled with at most 128 segments, enough for the mask margin.
  bool everySegment = false;
};
Spectrum powerSpectrum(std::span<const cplx> samples, double sampleRate,
                       const SpectrumOptions& options);
// The transmit mask in dBr at a frequency offset from the carrier; at a
// narrower spacing every offset scales with the clock (the 10 MHz mask's
// corners lie at 4.5, 5.5, 10 and 15 MHz).
double spectrumMaskDbr(double frequencyHz);
double spectrumMaskDbr(double frequencyHz, ChannelSpacing spacing);
// A named mask at a spacing (the 10 MHz classes' corners at 4.5, 5, 5.5, 10
// and 15 MHz; at 20 MHz twice those).
double spectrumMaskDbr(double frequencyHz, ChannelSpacing spacing, EmissionMask mask);
// The smallest distance of a spectrum below the transmit mask beyond +-9 MHz
// (within, the mask is the 0 dBr reference itself) and where it is; negative
// where the spectrum exceeds the mask. `checked` is false when no bin lies
// beyond 9 MHz.
struct MaskMargin {
  bool checked = false;
  double worstDb = 0.0;
  double frequencyHz = 0.0;
};
MaskMargin spectrumMaskMargin(const Spectrum& spectrum);
// The same against the mask of a spacing (beyond +-4.5 MHz at 10 MHz).
MaskMargin spectrumMaskMargin(const Spectrum& spectrum, ChannelSpacing spacing,
                              EmissionMask mask = EmissionMask::Standard);

// Resamples from one rate to another with a windowed-sinc interpolator whose
// cut-off lies below both Nyquist frequencies.
std::vector<cplx> resample(std::span<const cplx> in, double fromRate, double toRate);

}  // namespace dot11a::rx

DOT11A_API_END

// The Python module: frames as numpy arrays from the typed synthesis, the
// receiver's reports as dicts, waveform files, and any operation by name.
// The library works with the interpreter lock released, so Python threads run
// in parallel; calls by name share the library's module-wide values and run
// one at a time.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <string_view>

#include "dot11a/call.hpp"
#include "dot11a/capture.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/files.hpp"
#include "dot11a/levels.hpp"
#include "dot11a/library.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/receiver.hpp"
#include "dot11a/verify_report.hpp"
#include "veltora.hpp"
#include "verify_stream.hpp"

namespace veltora {

namespace {

using Complex = std::complex<double>;
using ComplexArray = py::array_t<Complex, py::array::c_style | py::array::forcecast>;

// The vector's buffer becomes the array's: the capsule owns the vector and
// frees it with the array, so nothing is copied.
template <class T>
py::array_t<T> handOver(std::vector<T>&& v) {
  auto owned = std::make_unique<std::vector<T>>(std::move(v));
  py::capsule owner(owned.get(), [](void* p) { delete static_cast<std::vector<T>*>(p); });
  std::vector<T>& kept = *owned.release();  // the capsule frees it from here on
  return py::array_t<T>(static_cast<py::ssize_t>(kept.size()), kept.data(), owner);
}

std::span<const Complex> samplesOf(const ComplexArray& a, const char* name) {
  if (a.ndim() != 1)
    dot11a::raise(std::string(name) + " must be a one-dimensional array of complex samples, not " +
                  std::to_string(a.ndim()) + "-dimensional.");
  return {a.data(), static_cast<std::size_t>(a.size())};
}

py::tuple range(const dot11a::SampleRange& r) {
  return py::make_tuple(r.begin, r.end);
}

// A Python number as dot11a-gen would have been given it, for messages: as
// Python writes it (exactly, shortest form; a whole float without its ".0").
std::string numberText(const py::handle x) {
  if (py::isinstance<py::float_>(x)) {
    const double v = x.cast<double>();
    if (std::isfinite(v) && v == std::trunc(v))
      return py::str(py::int_(py::reinterpret_borrow<py::object>(x))).cast<std::string>();
  }
  return py::str(x).cast<std::string>();
}

bool isNumber(const py::handle x) {
  return !py::isinstance<py::bool_>(x) &&
         py::isinstance(x, py::module_::import("numbers").attr("Real"));
}

}  // namespace

// The numbers of an impairment keyword: a number, or a tuple or list of
// numbers; `given` receives them as the command line would write them.
std::vector<double> numbersOf(const py::handle h, const char* name, std::string& given) {
  std::vector<double> values;
  auto add = [&](const py::handle x) {
    if (!isNumber(x))
      dot11a::raise(std::string(name) +
                    " takes a number, a tuple of numbers or dot11a-gen's text, not " +
                    py::repr(h).cast<std::string>() + ".");
    given += (given.empty() ? "" : ",") + numberText(x);
    values.push_back(x.cast<double>());
  };
  if (py::isinstance<py::tuple>(h) || py::isinstance<py::list>(h)) {
    for (const py::handle x : h) add(x);
  } else {
    add(h);
  }
  return values;
}

// An impairment keyword that takes numbers (iq_imbalance=(0.5, 2)), or
// dot11a-gen's text for it ("0.5,2").
void impairmentKeyword(dot11a::JobOptions& o, const py::handle h, std::string_view option) {
  if (h.is_none()) return;
  constexpr auto kw = dot11a::OptionSpelling::Keyword;
  if (py::isinstance<py::str>(h))
    return dot11a::setImpairmentText(o, option, h.cast<std::string>(), kw);
  const std::string name = dot11a::optionName(option, kw);
  std::string given;
  const std::vector<double> values = numbersOf(h, name.c_str(), given);
  dot11a::setImpairmentNumbers(o, option, values, given, kw);
}

// The text of a keyword whose form is a text ("rapp:2,6", "exp:50"); a
// number is refused by the form's own message.
std::optional<std::string> formText(const py::handle h, const char* name) {
  if (h.is_none()) return std::nullopt;
  if (py::isinstance<py::str>(h)) return h.cast<std::string>();
  std::string given;
  numbersOf(h, name, given);
  return given;
}

std::uint64_t seedOf(const py::handle h) {
  if (py::isinstance<py::str>(h)) return dot11a::parseSeed(h.cast<std::string>(), "seed takes");
  std::string given;
  const std::vector<double> v = numbersOf(h, "seed", given);
  // A whole number of 0 .. 2^64-1; the text states what was given otherwise.
  if (v.size() == 1 && py::isinstance<py::int_>(h)) {
    try {
      return h.cast<std::uint64_t>();
    } catch (const py::cast_error&) {
    }
  }
  return dot11a::parseSeed(given, "seed takes");
}

namespace {

py::array_t<std::uint8_t> markerRow(std::vector<std::uint8_t>&& row) {
  return handOver(std::move(row));
}

py::bytes bytesOf(const std::vector<std::uint8_t>& b) {
  return py::bytes(reinterpret_cast<const char*>(b.data()), b.size());
}

py::tuple synthesizeFrame(const dot11a::JobOptions& options, const Outputs& outputs) {
  Made made;
  {
    py::gil_scoped_release unlocked;
    made = make(options, outputs);
  }
  dot11a::Waveform& w = made.waveform;
  const dot11a::WaveformFrame& first = w.frames.front();
  py::dict facts;
  facts["sample_rate"] = w.sampleRate;
  facts["channel_spacing"] = dot11a::spacingMHz(w.spacing) * 1e6;
  facts["description"] = first.rateText;
  facts["data_symbols"] = first.layout.dataSymbols;
  facts["preamble"] = range(first.layout.preamble);
  facts["signal"] = range(first.layout.signal);
  facts["data"] = range(first.layout.data);
  facts["idle"] = range(first.layout.idle);
  facts["psdu"] = bytesOf(first.psdu);
  facts["fcs"] = w.fcs;
  facts["samples"] = w.samples.size();
  facts["frames"] = w.frames.size();
  facts["impairments"] = w.signal;
  facts["scrambler"] = w.scrambler;
  std::vector<std::size_t> starts;
  for (const dot11a::WaveformFrame& f : w.frames) starts.push_back(f.start);
  facts["frame_starts"] = py::tuple(py::cast(starts));
  if (made.job.receiverTest()) {
    py::list psdus;
    for (const dot11a::WaveformFrame& f : w.frames) psdus.append(bytesOf(f.psdu));
    facts["psdus"] = psdus;
  }
  if (made.test) {
    py::dict t;
    t["name"] = made.test->name;
    t["rate_mbps"] = made.test->rateMbps;
    t["wanted_dbm"] = made.test->wantedDbm;
    t["frames"] = made.test->frames;
    t["frames_text"] = made.test->framesText;
    if (made.test->interferer)
      t["interferer"] =
          py::make_tuple(made.test->interferer->offsetHz / 1e6, made.test->interferer->levelDb);
    facts["receiver_test"] = t;
  }
  if (outputs.power) {
    // The levels at the generator's set level, as the window and dot11a-gen give them.
    const dot11a::Levels l = dot11a::levelsOf(w, *outputs.power);
    py::dict levels;
    levels["set_level_dbm"] = *outputs.power;
    if (l.valid) {
      levels["burst_dbm"] = l.burstDbm;
      levels["peak_dbm"] = l.peakDbm;
      levels["papr_db"] = l.paprDb;
    }
    facts["levels"] = levels;
  }
  facts["marker1"] = markerRow(std::move(w.marker1));
  facts["marker2"] = markerRow(std::move(w.marker2));
  return py::make_tuple(handOver(std::move(w.samples)), facts);
}

py::dict verify(const ComplexArray& samples, double sampleRate, const std::string& fcs,
                bool dacDroop, double fftBackoff, const std::string& channelEstimate,
                long long maxFrames, const std::optional<py::bytes>& expectPsdu,
                std::optional<double> channelSpacing, const std::string& mask) {
  dot11a::rx::Options o;
  o.sampleRate = sampleRate;
  const auto named = dot11a::rx::emissionMaskNamed(mask);
  if (!named)
    dot11a::raise(
        "mask must be \"standard\", \"class-a\", \"class-b\", \"class-c\" or "
        "\"class-d\", not \"" +
        mask + "\".");
  o.mask = *named;
  if (channelSpacing) {
    dot11a::ChannelSpacing s{};
    if (!dot11a::channelSpacingOfMHz(*channelSpacing / 1e6, s))
      dot11a::raise("channel_spacing must be 20e6, 10e6 or 5e6 (Hz), or None to find it.");
    o.spacing = s;
  }
  if (fcs == "auto")
    o.fcs = dot11a::rx::FcsCheck::Auto;
  else if (fcs == "on")
    o.fcs = dot11a::rx::FcsCheck::On;
  else if (fcs == "off")
    o.fcs = dot11a::rx::FcsCheck::Off;
  else
    dot11a::raise("fcs must be \"auto\", \"on\" or \"off\", not \"" + fcs + "\".");
  if (!(fftBackoff >= 0 && fftBackoff <= 16))
    dot11a::raise("fft_backoff must be from 0 to 16 samples at 20 MHz.");
  if (maxFrames < 1) dot11a::raise("max_frames must be at least 1.");
  o.dacDroop = dacDroop;
  o.fftBackoff = fftBackoff;
  const auto estimate = dot11a::rx::channelEstimateNamed(channelEstimate);
  if (!estimate)
    dot11a::raise("channel_estimate must be \"preamble\", \"smoothed\" or \"data-aided\", not \"" +
                  channelEstimate + "\".");
  o.channelEstimate = *estimate;
  o.maxFrames = static_cast<std::size_t>(maxFrames);
  std::optional<std::vector<std::uint8_t>> expected;
  if (expectPsdu) {
    const std::string_view b = *expectPsdu;
    expected.emplace(b.begin(), b.end());
  }
  const std::span<const Complex> in = samplesOf(samples, "samples");
  nlohmann::json report;
  {
    py::gil_scoped_release unlocked;
    const dot11a::rx::Result r = dot11a::rx::receive(in, o);
    report = nlohmann::json::parse(dot11a::rx::reportJson(r, dot11a::rx::verdictOf(r, expected)));
    // The same summary and limit flag as dot11a-verify --json.
    dot11a::cli::Summary summary;
    for (const dot11a::rx::FrameReport& f : r.frames) summary.add(f);
    summary.setCleaned(r.nonFiniteSamples, r.spikeSamples);
    report["summary"] = summary.json(in.size(), o.sampleRate);
    if (summary.frames() >= o.maxFrames) report["max_frames_reached"] = true;
  }
  return fromJson(report);
}

py::tuple readFile(const std::string& path, const std::string& format) {
  dot11a::CaptureFormat f = dot11a::CaptureFormat::Auto;
  if (!dot11a::captureFormatFromText(format, f))
    dot11a::raise("format must be auto, mat, sigmf, bin or cf32, not \"" + format + "\".");
  dot11a::Capture c;
  {
    py::gil_scoped_release unlocked;
    c = dot11a::readCapture(path, f);
  }
  py::dict info;
  info["sample_rate"] = c.sampleRate ? py::object(py::float_(*c.sampleRate)) : py::none();
  info["format"] = c.format;
  info["dac_precompensated"] = c.dacPrecompensated;
  // Hz, when the file records it (our SigMF recordings of 10 and 5 MHz frames).
  if (c.spacing) info["channel_spacing"] = dot11a::spacingMHz(*c.spacing) * 1e6;
  return py::make_tuple(handOver(std::move(c.samples)), info);
}

void writeFile(const std::string& path, const ComplexArray& samples, double sampleRate,
               std::optional<double> frequency, const std::string& description,
               bool dacPrecompensated, const std::string& impairments, const std::string& mat) {
  const std::span<const Complex> s = samplesOf(samples, "samples");
  const auto container = dot11a::matContainerOf(mat);
  if (!container) dot11a::raise("mat must be \"samples\" or \"wave\", not \"" + mat + "\".");
  const auto format = dot11a::waveformFormatOf(path, *container);
  if (!format || *format == dot11a::WaveformFormat::PsduCapture)
    dot11a::raise(
        "write: the file name must end in .mat, .bin, .sigmf-meta or .sigmf-data, not \"" + path +
        "\".");
  py::gil_scoped_release unlocked;
  if (*format != dot11a::WaveformFormat::Sigmf) {
    // Samples without frames: the one writer of the format, with the rate.
    dot11a::Waveform w;
    w.samples.assign(s.begin(), s.end());
    w.sampleRate = sampleRate;
    w.dacPrecompensated = dacPrecompensated;
    dot11a::writeWaveform(path, *format, w);
    return;
  }
  // A sample that is not finite, or a rate that is not positive, is refused
  // before anything is written (writeWaveform checks the other formats).
  dot11a::checkWaveformToWrite(path, s, sampleRate);
  dot11a::SigmfInfo info;
  info.sampleRate = sampleRate;
  info.frequency = frequency;
  info.description = description;
  info.dacPrecompensated = dacPrecompensated;
  info.impairments = impairments;
  dot11a::writeSigmf(path, s, info);
}

py::object call(const std::string& name, const py::args& args, int nout) {
  if (nout < 0) dot11a::raise("nout must be 0 or more.");
  std::vector<dot11a::Value> in;
  in.reserve(args.size());
  for (const py::handle a : args) in.push_back(toValue(a));
  std::vector<dot11a::Value> out;
  {
    py::gil_scoped_release unlocked;
    static std::mutex oneAtATime;
    const std::lock_guard lock(oneAtATime);
    out = dot11a::feval(name, nout, in);
  }
  if (nout <= 1) return out.empty() ? py::object(py::none()) : fromValue(out[0]);
  py::tuple t(out.size());
  for (std::size_t i = 0; i < out.size(); ++i) t[i] = fromValue(out[i]);
  return t;
}

constexpr const char* kSynthesizeDoc = R"(Makes one 802.11a frame, or a receiver-test waveform.

Every keyword is dot11a-gen's option of the same name (underscores for dashes),
with its bounds and messages. The frame settings, left out, keep the value of
the starting set (the application's defaults, or the parameter file `params`):

  rate            6 9 12 18 24 36 48 54 (Mbit/s: modulation and coding)
  modulation      "bpsk" "qpsk" "16qam" "64qam"
  coding          "1/2" "2/3" "3/4" "1" (uncoded)
  unframed        DATA symbols only, no preamble and SIGNAL
  length          payload octets, 1 .. 4095 less the MAC header and FCS
  source          "zeros" "ones" "alt01" "alt10" "pn9" "pn15" or a file name
  mac_header, fcs the MAC header in front, the FCS behind the payload
  scrambler_init  seed 0 .. 127 (0: not scrambled)
  scrambler, interleaver: on or off
  service         SERVICE field 0 .. 65535
  channel_spacing 20e6, 10e6 or 5e6 Hz: the same samples at a half or a
                  quarter of the clock (rate is then given at the spacing)
  oversampling    1 .. 4 (the channel spacing times the ratio)
  window          edge window 0 .. 16 samples
  idle_us         idle interval after the frame, 0 .. 1000 us
  mirror          mirror the spectrum (swap I and Q)
  mask            53 values of 0 and 1, sub-carriers -26 .. 26

Sequences and impairments take a number, a tuple of numbers, or the text
dot11a-gen's option takes (iq_imbalance=(0.5, 2) is --iq-imbalance 0.5,2):

  frames          1 .. 100000 frames;  gap_us: 0 .. 10000 us, "SIFS" or "DIFS"
  seed_step       step the scrambler seed from frame to frame
  sequence        JSON file of per-frame rate, length and source
  pa              "rapp:P,BACKOFF_DB" or "clip:BACKOFF_DB"
  iq_imbalance    (GAIN_DB, PHASE_DEG)
  dc              carrier leakage in dBc, -80 .. 0
  phase_noise     DEG_RMS or (DEG_RMS, CORNER_HZ)
  channel         "exp:RMS_NS" or "exp:RMS_NS,rician:K_DB"
  cfo, cfo_ppm    carrier offset in Hz, or in ppm of `frequency` (Hz)
  clock_ppm       sampling clock offset, -1000 .. 1000 ppm
  snr             white noise for this SNR in dB in the occupied band
  interferer      (OFFSET_MHZ, LEVEL_DB) from the wanted signal
  seed            of every random draw, 0 .. 2**64-1 (default 1)
  test            "sensitivity" "acr" "alt-acr": 1000-octet PSDUs with MAC header,
                  PN payload and FCS, seed stepping; 1000 frames or the most
                  that fit the instrument's memory (or `frames`)

Files, written as dot11a-gen writes them for the same options:

  output          the waveform: .mat, .bin (16-bit), .sigmf-meta/.sigmf-data
                  (every frame annotated), .pcap (the PSDU of every frame)
  mat             the .mat container: "samples" (the complex column) or "wave"
                  (sampleRate and the I and Q rows, as the application exports)
  save_params     the parameter file: the frame, the generator settings
                  (frequency) and the sequence and impairments

Returns (samples, facts): the complex128 samples (the synthesis's own buffer,
not a copy) and a dict with sample_rate, samples, description, data_symbols,
the sample ranges preamble, signal, data and idle of the (first) frame as
(begin, end), psdu (bytes, of the first frame), fcs, frames, frame_starts (the
first sample of each frame, after any clock offset), impairments (what was
applied, as SigMF records it; "" for none), and the markers marker1 (1 at every
frame start) and marker2 (1 during every burst). impairments is the account
of the sequence and impairments ("3 frames, gap SIFS; SNR 25 dB; seed 9"). A
sequence or impairment adds psdus (bytes of every frame) and, with `test`, receiver_test (name, rate_mbps,
wanted_dbm: the level to set at the receiver input, interferer, frames and
frames_text: the count it chose and why). With power (the generator's set
level in dBm), levels: burst_dbm (the mean power over the bursts), peak_dbm
and papr_db at that level, as the window's status line gives them. Raises
veltora.Error naming the keyword that is wrong.)";

constexpr const char* kVerifyDoc = R"(Finds, decodes and measures every frame of a waveform.

samples is a one-dimensional complex array at sample_rate samples per second.
fcs: "on" (every PSDU ends in an FCS), "off", or "auto" (checked when it
matches). dac_droop measures flatness as a zero-order-hold DAC would put it on
air (for frames made by synthesize()). channel_estimate: the estimate the EVM
and flatness are measured with, "preamble" (the long training's, as the
standard measures; default), "smoothed" or "data-aided"; frames are decoded
with the best either way. expect_psdu compares every decoded PSDU.
channel_spacing: 20e6, 10e6 or 5e6 Hz; None (default) finds 20 MHz frames and,
when none decodes, 10 and 5 MHz ones. mask: the transmit mask, "standard"
(default) or an emission class of 10 MHz channels at 5.9 GHz, "class-a" to
"class-d", scaled with the spacing as dot11a-verify --mask takes it.
Returns the report of dot11a-verify --json: pass, reasons, sample_rate, summary,
frames (one dict per frame: start, signal, data, psdu, evm, flatness, mask, ...).)";

constexpr const char* kReadDoc =
    R"(Reads a capture: .mat, .sigmf-meta/.sigmf-data, .bin (16-bit), .cf32.

format ("auto", "mat", "sigmf", "bin", "cf32") overrides the extension.
Returns (samples, info): info holds sample_rate (None when the file does not
say), format, and dac_precompensated (the file records that the samples are
pre-compensated for a DAC's droop, as everything synthesize() makes is: verify
them with dac_droop=True).)";

constexpr const char* kWriteDoc = R"(Writes samples in the format the extension names.

.mat: the "samples" container as dot11a-gen writes it (mat="wave": the container
with the sample rate); .bin: the 16-bit sample file; .sigmf-meta/.sigmf-data: a SigMF recording with sample_rate, the carrier
frequency (when given), the description and the impairments (synthesize()'s
facts["impairments"], recorded as dot11a-gen records them; "" for none).
dac_precompensated records that the samples are pre-compensated for a DAC's
droop (true of synthesize()'s frames; dot11a-verify then measures flatness
after the droop). Files are replaced whole.)";

constexpr const char* kCallDoc = R"(Calls any operation of the library by name.

Arguments: numbers, numpy arrays (1-d a row, 2-d a matrix; int32 stays int32),
lists of numbers (a row; lists of rows a matrix), str (a text), dict (a record),
other lists (a cell list), None (an absent input). nout outputs are returned:
one value for nout 1, a tuple otherwise; matrices come back as 2-d arrays.)";

}  // namespace

}  // namespace veltora

PYBIND11_MODULE(_veltora, m) {
  using namespace veltora;
  using py::arg;
  m.doc() = "IEEE 802.11a OFDM test frames: synthesis, verification and waveform files.";

  // The library's errors keep their message; bad arguments are ValueErrors.
  py::register_exception<dot11a::Error>(m, "Error", PyExc_ValueError);

  Dot11a_b_libInitialize();
  py::module_::import("atexit").attr("register")(py::cpp_function([] { Dot11a_b_libTerminate(); }));

  m.def(
      "synthesize",
      [](const std::optional<std::string>& params, std::optional<double> rate,
         std::optional<std::string> modulation, std::optional<std::string> coding, bool unframed,
         std::optional<double> length, std::optional<std::string> source,
         std::optional<bool> macHeader, std::optional<bool> fcs,
         std::optional<double> scramblerInit, std::optional<bool> scrambler,
         std::optional<bool> interleaver, std::optional<double> service,
         std::optional<double> oversampling, std::optional<double> window,
         std::optional<double> idleUs, bool mirror, std::optional<std::vector<double>> mask,
         std::optional<double> frames, const py::object& gapUs, bool seedStep,
         std::optional<std::string> sequence, const py::object& pa, const py::object& iq,
         const py::object& dc, const py::object& phaseNoise, const py::object& channel,
         const py::object& cfo, const py::object& cfoPpm, const py::object& clockPpm,
         const py::object& snr, const py::object& interferer, const py::object& seed,
         std::optional<std::string> test, std::optional<double> frequency,
         const std::string& output, const std::string& mat, const std::string& saveParams,
         std::optional<double> channelSpacing, std::optional<double> power) {
        constexpr auto kw = dot11a::OptionSpelling::Keyword;
        dot11a::JobOptions o;
        if (params) o.params = *params;
        // Hz here (10e6), MHz in the options.
        if (channelSpacing) o.channelSpacingMHz = *channelSpacing / 1e6;
        o.rate = rate;
        o.modulation = std::move(modulation);
        o.coding = std::move(coding);
        o.unframed = unframed;
        o.length = length;
        o.source = std::move(source);
        o.macHeader = macHeader;
        o.fcs = fcs;
        o.scramblerInit = scramblerInit;
        o.scrambler = scrambler;
        o.interleaver = interleaver;
        o.service = service;
        o.oversampling = oversampling;
        o.window = window;
        o.idleUs = idleUs;
        o.mirror = mirror;
        o.mask = std::move(mask);
        o.frames = frames;
        if (!gapUs.is_none()) {
          if (py::isinstance<py::str>(gapUs)) {
            o.gap = dot11a::Gap::parse(gapUs.cast<std::string>());
          } else {
            std::string given;
            const std::vector<double> us = numbersOf(gapUs, "gap_us", given);
            if (us.size() != 1) dot11a::Gap::parse(given);  // the gap's own message
            o.gap = dot11a::Gap{us[0], ""};
          }
        }
        o.seedStep = seedStep;
        if (sequence) {
          if (sequence->empty()) dot11a::raise("sequence: the file name is empty.");
          o.sequenceFile = *sequence;
        }
        if (const auto t = formText(pa, "pa"))
          o.impairments.amplifier = dot11a::amplifierOf(*t, kw);
        impairmentKeyword(o, iq, "iq-imbalance");
        impairmentKeyword(o, dc, "dc");
        impairmentKeyword(o, phaseNoise, "phase-noise");
        if (const auto t = formText(channel, "channel"))
          o.impairments.channel = dot11a::channelOf(*t, kw);
        impairmentKeyword(o, cfo, "cfo");
        impairmentKeyword(o, cfoPpm, "cfo-ppm");
        impairmentKeyword(o, clockPpm, "clock-ppm");
        impairmentKeyword(o, snr, "snr");
        impairmentKeyword(o, interferer, "interferer");
        if (!seed.is_none()) o.impairments.seed = seedOf(seed);
        o.test = std::move(test);
        // The carrier turns cfo_ppm into Hz: a negative one would flip the offset.
        if (frequency && !(std::isfinite(*frequency) && *frequency > 0))
          dot11a::raise("frequency must be the carrier frequency in Hz, above 0, not " +
                        py::repr(py::float_(*frequency)).cast<std::string>() + ".");
        o.frequency = frequency;
        if (power && !std::isfinite(*power))
          dot11a::raise("power must be the generator's set level in dBm, a finite number.");
        return synthesizeFrame(o, Outputs{output, mat, saveParams, power});
      },
      py::kw_only(), arg("params") = py::none(), arg("rate") = py::none(),
      arg("modulation") = py::none(), arg("coding") = py::none(), arg("unframed") = false,
      arg("length") = py::none(), arg("source") = py::none(), arg("mac_header") = py::none(),
      arg("fcs") = py::none(), arg("scrambler_init") = py::none(), arg("scrambler") = py::none(),
      arg("interleaver") = py::none(), arg("service") = py::none(),
      arg("oversampling") = py::none(), arg("window") = py::none(), arg("idle_us") = py::none(),
      arg("mirror") = false, arg("mask") = py::none(), arg("frames") = py::none(),
      arg("gap_us") = py::none(), arg("seed_step") = false, arg("sequence") = py::none(),
      arg("pa") = py::none(), arg("iq_imbalance") = py::none(), arg("dc") = py::none(),
      arg("phase_noise") = py::none(), arg("channel") = py::none(), arg("cfo") = py::none(),
      arg("cfo_ppm") = py::none(), arg("clock_ppm") = py::none(), arg("snr") = py::none(),
      arg("interferer") = py::none(), arg("seed") = py::none(), arg("test") = py::none(),
      arg("frequency") = py::none(), arg("output") = "", arg("mat") = "samples",
      arg("save_params") = "", arg("channel_spacing") = py::none(), arg("power") = py::none(),
      kSynthesizeDoc);

  bindPer(m);

  m.def("verify", &verify, arg("samples"), arg("sample_rate") = 20e6, py::kw_only(),
        arg("fcs") = "auto", arg("dac_droop") = false,
        // The receiver's own defaults, as dot11a-verify takes them.
        arg("fft_backoff") = dot11a::rx::Options{}.fftBackoff,
        arg("channel_estimate") =
            std::string(dot11a::rx::channelEstimateName(dot11a::rx::Options{}.channelEstimate)),
        arg("max_frames") = dot11a::rx::Options{}.maxFrames, arg("expect_psdu") = py::none(),
        arg("channel_spacing") = py::none(),
        arg("mask") = std::string(dot11a::rx::emissionMaskName(dot11a::rx::Options{}.mask)),
        kVerifyDoc);
  m.def("read", &readFile, arg("path"), arg("format") = "auto", kReadDoc);
  m.def("write", &writeFile, arg("path"), arg("samples"), arg("sample_rate") = 20e6, py::kw_only(),
        arg("frequency") = py::none(), arg("description") = "", arg("dac_precompensated") = false,
        arg("impairments") = "", arg("mat") = "samples", kWriteDoc);
  m.def("call", &call, arg("name"), py::kw_only(), arg("nout") = 1, kCallDoc);
}

// dot11a_Sequence: a frame sequence with impairments by name, a thin adapter
// over make(). Takes the parameter set and a record of the sequence and the
// impairments, with the names of the typed settings (impair.hpp), and returns
// the samples and the 2 x n markers as dot11a_FRAME does. "test" names a
// receiver-test preset (receiver_test.hpp), applied after the other settings.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/frame_record.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/receiver_test.hpp"
#include "dot11a/waveform.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace {

constexpr const char* kOp = "dot11a_Sequence";

std::string what(std::string_view field) {
  return std::string(kOp) + ": \"" + std::string(field) + "\"";
}

double number(const Value& v, std::string_view field) {
  if (!v.isNumeric() || v.isComplex() || v.numel() != 1 || !std::isfinite(v.real(0)))
    raise(what(field) + " must be one finite number, not " + v.describe() + ".");
  return v.real(0);
}

// A record whose fields are numbers, each optional with its default; a field
// of another name is refused, so a misspelt name is not silently ignored.
class Fields {
 public:
  Fields(const Value& v, std::string_view name, std::vector<std::string> known)
      : v_(v), name_(name) {
    if (!v.isRecord()) raise(what(name) + " must be a record, not " + v.describe() + ".");
    for (const std::string& f : v.fieldNames())
      if (std::find(known.begin(), known.end(), f) == known.end()) {
        std::string list;
        for (const std::string& k : known) list += (list.empty() ? "" : ", ") + k;
        raise(what(name_ + "." + f) + " is not a setting; " + name_ + " takes " + list + ".");
      }
  }
  bool has(std::string_view f) const { return v_.hasField(f) && !v_.field(f).isEmpty(); }
  const Value& operator[](std::string_view f) const { return v_.field(f); }
  double get(std::string_view f, double fallback) const {
    return has(f) ? number(v_.field(f), name_ + "." + std::string(f)) : fallback;
  }

 private:
  const Value& v_;
  std::string name_;
};

impair::Amplifier amplifier(const Value& v) {
  const Fields f(v, "amplifier", {"model", "smoothness", "backoffDb"});
  impair::Amplifier a;
  if (f.has("model")) {
    const std::string m = f["model"].isText() ? f["model"].str() : "";
    if (m == "clip")
      a.model = impair::Amplifier::Model::Clip;
    else if (m != "rapp")
      raise(what("amplifier.model") + " must be 'rapp' or 'clip'.");
  }
  a.smoothness = f.get("smoothness", a.smoothness);
  a.backoffDb = f.get("backoffDb", a.backoffDb);
  return a;
}

// The sequence and the impairments of the options record, into the job.
void request(const Value& v, FrameJob& job) {
  const Fields f(
      v, "options",
      {"frames", "gapUs", "seedStep", "sequence", "amplifier", "iq", "dcDbc", "phaseNoise",
       "channel", "cfoHz", "clockPpm", "snrDb", "interferer", "seed", "test"});
  SequenceSettings& q = job.sequence;
  std::optional<std::size_t> frames;
  if (f.has("frames"))
    frames = checkedInteger<std::size_t>(number(f["frames"], "frames"), what("frames"), 1,
                                         kMaxSequenceFrames);
  if (frames) q.frames = *frames;
  if (f.has("gapUs")) {
    if (f["gapUs"].isText())
      q.gap = Gap::parse(f["gapUs"].str());
    else
      q.gap.us = number(f["gapUs"], "gapUs");
  }
  if (f.has("seedStep")) {
    const Value& step = f["seedStep"];
    const bool flag = step.isNumeric() && !step.isComplex() && step.numel() == 1 &&
                      (step.real(0) == 0 || step.real(0) == 1);
    if (!flag) raise(what("seedStep") + " must be true or false, not " + step.describe() + ".");
    q.seedStep = step.real(0) == 1;
  }
  if (f.has("sequence")) {
    if (!f["sequence"].isText())
      raise(what("sequence") + " must be the name of a JSON sequence file.");
    q.file = f["sequence"].str();
  }
  impair::Settings& s = job.impairments;
  if (f.has("amplifier")) s.amplifier = amplifier(f["amplifier"]);
  if (f.has("iq")) {
    const Fields g(f["iq"], "iq", {"gainDb", "phaseDeg"});
    s.iq = impair::IqImbalance{g.get("gainDb", 0.0), g.get("phaseDeg", 0.0)};
  }
  if (f.has("dcDbc")) s.dcDbc = number(f["dcDbc"], "dcDbc");
  if (f.has("phaseNoise")) {
    const Fields g(f["phaseNoise"], "phaseNoise", {"rmsDeg", "cornerHz"});
    impair::PhaseNoise p;
    s.phaseNoise = impair::PhaseNoise{g.get("rmsDeg", p.rmsDeg), g.get("cornerHz", p.cornerHz)};
  }
  if (f.has("channel")) {
    const Fields g(f["channel"], "channel", {"rmsDelayNs", "ricianKDb"});
    impair::Channel c;
    c.rmsDelayNs = g.get("rmsDelayNs", c.rmsDelayNs);
    if (g.has("ricianKDb")) c.ricianKDb = g.get("ricianKDb", 0.0);
    s.channel = c;
  }
  if (f.has("cfoHz")) s.cfoHz = number(f["cfoHz"], "cfoHz");
  if (f.has("clockPpm")) s.clockPpm = number(f["clockPpm"], "clockPpm");
  if (f.has("snrDb")) s.snrDb = number(f["snrDb"], "snrDb");
  if (f.has("interferer")) {
    const Fields g(f["interferer"], "interferer", {"offsetHz", "levelDb"});
    impair::Interferer i;
    s.interferer = impair::Interferer{g.get("offsetHz", i.offsetHz), g.get("levelDb", i.levelDb)};
  }
  if (f.has("seed")) {
    // A number is exact only up to 2^53; a larger seed is given as its text.
    if (f["seed"].isText()) {
      s.seed = parseSeed(f["seed"].str(), what("seed") + " takes");
    } else {
      const double seed = number(f["seed"], "seed");
      if (seed > 9007199254740992.0)
        raise(what("seed") + " " + adapt::shown(f["seed"]) +
              " is past 2^53, where a number is no longer exact: give the seed as its decimal "
              "text.");
      s.seed = checkedInteger<std::uint64_t>(seed, what("seed"));
    }
  }
  // The preset last: the frames that fit depend on the gap and a clock offset.
  if (f.has("test")) {
    if (!f["test"].isText())
      raise(what("test") + " must be 'sensitivity', 'acr' or 'alt-acr', not " +
            f["test"].describe() + ".");
    ReceiverTestRequest r;
    r.name = f["test"].str();
    r.frames = frames;
    r.gapGiven = f.has("gapUs");
    r.testOption = what("test");
    r.rateOption = "the parameter set's rate";
    r.interfererOption = what("interferer");
    applyReceiverTest(job, r);
  }
}

}  // namespace

namespace op {

void dot11a_Sequence(Call& c) {
  c.outputNames({"waveform", "markers"});
  const Value& p = c.in(0, "parameters");
  if (!p.isRecord()) raise(std::string(kOp) + ": parameters must be a parameter set record.");
  FrameJob job;
  job.frame = fromRecord(p);
  request(c.has(1) ? c.in(1, "options") : Value::record({}), job);
  WaveformValues v = toValues(make(job));
  c.out(0) = std::move(v.waveform);
  c.out(1) = std::move(v.markers);
}

}  // namespace op
}  // namespace dot11a

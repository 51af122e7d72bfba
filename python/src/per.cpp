// The PER bench for Python: per_curve's settings (a dict of its keywords, so
// that a Dask task can carry them to another machine) into the sweep that
// dot11a-per runs, chunks of frames run anywhere, their sum, and the local
// run on threads. The Python side (veltora/__init__.py) shares the chunks
// out and draws the plot.
#include <pybind11/stl.h>

#include <atomic>
#include <map>

#include "dot11a/error.hpp"
#include "dot11a/per.hpp"
#include "dot11a/per_options.hpp"
#include "veltora.hpp"

namespace veltora {

namespace {

constexpr auto kw = dot11a::OptionSpelling::Keyword;

// A whole number of a keyword, as a double for the shared checks (which
// name the keyword and its bounds).
double numberOf(const py::handle h, const char* name) {
  std::string given;
  const std::vector<double> v = numbersOf(h, name, given);
  if (v.size() != 1) dot11a::raise(std::string(name) + " takes one number, not " + given + ".");
  return v[0];
}

std::vector<double> listOf(const py::handle h, const char* name) {
  std::string given;
  return numbersOf(h, name, given);
}

dot11a::per::Sweep sweepOf(const py::dict& settings) {
  dot11a::cli::PerOptions o;
  std::optional<double> frequency;
  for (const auto& [key, value] : settings) {
    const std::string k = py::str(key).cast<std::string>();
    if (value.is_none()) continue;
    if (k == "rates") {
      o.rates = listOf(value, "rates");
    } else if (k == "snr") {
      o.snr = py::isinstance<py::str>(value)
                  ? dot11a::per::snrList(value.cast<std::string>(), "snr")
                  : listOf(value, "snr");
    } else if (k == "frames") {
      o.frames = numberOf(value, "frames");
    } else if (k == "stop_after_errors") {
      o.stopAfterErrors = numberOf(value, "stop_after_errors");
    } else if (k == "psdu_octets") {
      o.psduOctets = numberOf(value, "psdu_octets");
    } else if (k == "oversampling") {
      o.oversampling = numberOf(value, "oversampling");
    } else if (k == "fcs") {
      o.fcs = value.cast<bool>();
    } else if (k == "ideal") {
      o.ideal = value.cast<bool>();
    } else if (k == "seed") {
      o.seed = seedOf(value);
    } else if (k == "channel") {
      const std::optional<std::string> t = formText(value, "channel");
      if (t && !dot11a::cli::isAwgn(*t)) o.job.impairments.channel = dot11a::channelOf(*t, kw);
    } else if (k == "pa") {
      if (const auto t = formText(value, "pa"))
        o.job.impairments.amplifier = dot11a::amplifierOf(*t, kw);
    } else if (k == "frequency") {
      frequency = numberOf(value, "frequency");
      if (!(std::isfinite(*frequency) && *frequency > 0))
        dot11a::raise("frequency must be the carrier frequency in Hz, above 0.");
    } else {
      static const std::map<std::string, std::string_view> impairments = {
          {"iq_imbalance", "iq-imbalance"}, {"dc", "dc"},
          {"phase_noise", "phase-noise"},   {"cfo", "cfo"},
          {"cfo_ppm", "cfo-ppm"},           {"clock_ppm", "clock-ppm"},
          {"interferer", "interferer"}};
      const auto it = impairments.find(k);
      if (it == impairments.end()) dot11a::raise("per_curve takes no keyword " + k + ".");
      impairmentKeyword(o.job, value, it->second);
    }
  }
  if (frequency) o.job.frequency = frequency;
  return dot11a::cli::sweepOf(o, kw);
}

py::dict chunkDict(const dot11a::per::Chunk& c) {
  py::dict d;
  d["point"] = c.point;
  d["first"] = c.first;
  d["frames"] = c.frames;
  d["errors"] = c.errors;
  d["missed"] = c.missed;
  d["errors_at"] = c.errorsAt;
  d["missed_at"] = c.missedAt;
  return d;
}

dot11a::per::Chunk chunkOf(const py::handle h) {
  const py::dict d = py::reinterpret_borrow<py::dict>(h);
  dot11a::per::Chunk c;
  c.point = d["point"].cast<std::size_t>();
  c.first = d["first"].cast<std::uint64_t>();
  c.frames = d["frames"].cast<std::uint64_t>();
  c.errors = d["errors"].cast<std::uint64_t>();
  c.missed = d["missed"].cast<std::uint64_t>();
  c.errorsAt = d["errors_at"].cast<std::vector<std::uint64_t>>();
  c.missedAt = d["missed_at"].cast<std::vector<std::uint8_t>>();
  return c;
}

py::object resultOf(const dot11a::per::Sweep& s,
                    const std::vector<dot11a::per::PointResult>& results) {
  return fromJson(nlohmann::json::parse(dot11a::per::resultJson(s, results)));
}

}  // namespace

void bindPer(py::module_& m) {
  m.def(
      "_per_plan",
      [](const py::dict& settings) {
        const dot11a::per::Sweep s = sweepOf(settings);
        py::list points;
        for (const dot11a::per::Point& p : dot11a::per::points(s))
          points.append(py::make_tuple(p.rateMbps, p.snrDb));
        py::dict d;
        d["points"] = points;
        d["frames"] = s.frames;
        d["stop_after_errors"] = s.stopAfterErrors;
        return d;
      },
      "The sweep's points and frames per point; raises on settings it cannot run.");
  m.def(
      "_per_chunk",
      [](const py::dict& settings, std::size_t point, std::uint64_t first, std::uint64_t count) {
        const dot11a::per::Sweep s = sweepOf(settings);
        dot11a::per::Chunk c;
        {
          py::gil_scoped_release unlocked;
          c = dot11a::per::runChunk(s, point, first, count);
        }
        return chunkDict(c);
      },
      "Counts frames [first, first + count) of one point.");
  m.def(
      "_per_combine",
      [](const py::dict& settings, const py::list& chunks) {
        const dot11a::per::Sweep s = sweepOf(settings);
        std::vector<dot11a::per::Chunk> all;
        for (const py::handle c : chunks) all.push_back(chunkOf(c));
        std::vector<dot11a::per::PointResult> results;
        for (std::size_t i = 0; i < s.ratesMbps.size() * s.snrDb.size(); ++i)
          results.push_back(dot11a::per::combine(s, i, all));
        return resultOf(s, results);
      },
      "The result of the chunks: each point counted from its first frame on without a gap.");
  m.def(
      "_per_combine_point",
      [](const py::dict& settings, std::size_t point, const py::list& chunks) {
        const dot11a::per::Sweep s = sweepOf(settings);
        std::vector<dot11a::per::Chunk> all;
        for (const py::handle c : chunks) all.push_back(chunkOf(c));
        const dot11a::per::PointResult r = dot11a::per::combine(s, point, all);
        py::dict d;
        d["frames"] = r.frames;
        d["errors"] = r.errors;
        d["complete"] = r.complete;
        return d;
      },
      "One point's count of its chunks so far.");
  m.def(
      "_per_run",
      [](const py::dict& settings, unsigned workers) {
        const dot11a::per::Sweep s = sweepOf(settings);
        dot11a::per::RunOptions o;
        o.workers = workers;
        // Ctrl+C in the interpreter ends the sweep; KeyboardInterrupt follows.
        bool interrupted = false;
        o.poll = [&] {
          const py::gil_scoped_acquire locked;
          interrupted = interrupted || PyErr_CheckSignals() != 0;
          return !interrupted;
        };
        std::vector<dot11a::per::PointResult> results;
        {
          py::gil_scoped_release unlocked;
          results = dot11a::per::run(s, o);
        }
        if (interrupted) throw py::error_already_set();
        return resultOf(s, results);
      },
      "Runs the sweep on local threads (0: one per core).");
}

}  // namespace veltora

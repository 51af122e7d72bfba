// The bench's results: the SNR at a PER, the SNR lists the front ends
// take, and the JSON and CSV every front end writes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "dot11a/error.hpp"
#include "dot11a/impair.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/per.hpp"
#include "dot11a/receiver_test.hpp"

namespace dot11a::per {

std::optional<double> sensitivitySnrDb(double rateMbps, ChannelSpacing spacing) {
  const std::optional<double> level = minimumSensitivityDbm(rateMbps, spacing);
  if (!level) return std::nullopt;
  const double noiseDbm = kThermalNoiseDbmPerHz +
                          10 * std::log10(impair::occupiedBandwidthHz(spacing)) +
                          kSensitivityNoiseFigureDb;
  return *level - noiseDbm;
}

std::optional<double> snrAt(std::span<const PointResult> points, double per) {
  std::vector<const PointResult*> p;
  for (const PointResult& r : points)
    if (r.frames > 0) p.push_back(&r);
  std::stable_sort(p.begin(), p.end(),
                   [](const PointResult* a, const PointResult* b) { return a->snrDb < b->snrDb; });
  // A point without a lost frame stands for half a frame lost: the log
  // scale has no zero.
  const auto logPer = [](const PointResult& r) {
    return std::log10(std::max(r.per(), 0.5 / static_cast<double>(r.frames)));
  };
  for (std::size_t i = p.size(); i-- > 1;) {
    const PointResult& lo = *p[i - 1];
    const PointResult& hi = *p[i];
    if (!(lo.per() >= per && hi.per() < per)) continue;
    const double y0 = logPer(lo), y1 = logPer(hi), target = std::log10(per);
    if (!(y0 > y1)) return hi.snrDb;
    return lo.snrDb + (y0 - target) / (y0 - y1) * (hi.snrDb - lo.snrDb);
  }
  return std::nullopt;
}

namespace {

bool numberOf(std::string_view text, double& v) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size() && std::isfinite(v);
}

std::vector<std::string_view> split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t to = text.find(at, from);
    parts.push_back(text.substr(from, to == std::string_view::npos ? to : to - from));
    if (to == std::string_view::npos) return parts;
    from = to + 1;
  }
}

}  // namespace

std::vector<double> snrList(std::string_view text, std::string_view option) {
  const std::string what = std::string(option) +
                           " takes FROM:TO:STEP in dB (0:10:0.5), a list (3,4.5,6) or one SNR, "
                           "not \"" +
                           std::string(text) + "\".";
  std::vector<double> snr;
  if (text.find(':') != std::string_view::npos) {
    const std::vector<std::string_view> parts = split(text, ':');
    double from = 0, to = 0, step = 0;
    if (parts.size() != 3 || !numberOf(parts[0], from) || !numberOf(parts[1], to) ||
        !numberOf(parts[2], step))
      raise(what);
    if (!(step > 0) || to < from)
      raise(std::string(option) +
            ": FROM:TO:STEP needs TO at or above FROM and a STEP above 0, "
            "not \"" +
            std::string(text) + "\".");
    // TO counts when a rounding error leaves it a hair beyond the last step.
    const double steps = std::floor((to - from) / step + 1e-3);
    if (steps + 1 > static_cast<double>(kMaxPoints))
      raise(std::string(option) + " \"" + std::string(text) + "\" has more than " +
            std::to_string(kMaxPoints) + " SNRs.");
    for (double k = 0; k <= steps; ++k) snr.push_back(std::round((from + k * step) * 1e9) / 1e9);
    return snr;
  }
  for (const std::string_view part : split(text, ',')) {
    double v = 0;
    if (!numberOf(part, v)) raise(what);
    snr.push_back(v);
  }
  return snr;
}

std::string resultJson(const Sweep& s, std::span<const PointResult> results) {
  using nlohmann::json;
  json settings = {
      {"rates", s.ratesMbps},
      {"snr_db", s.snrDb},
      {"frames", s.frames},
      {"stop_after_errors", s.stopAfterErrors},
      {"ideal", s.ideal},
      {"seed", s.job.impairments.seed},
      {"psdu_octets", s.job.frame.totalLength()},
      {"fcs", s.job.frame.fcs},
      {"sample_rate", s.job.frame.sampleRate()},
      {"impairments", impair::describe(s.job.impairments)},
  };
  json points = json::array();
  bool complete = true;
  for (const PointResult& r : results) {
    points.push_back({{"rate_mbps", r.rateMbps},
                      {"snr_db", r.snrDb},
                      {"frames", r.frames},
                      {"errors", r.errors},
                      {"missed", r.missed},
                      // No frame counted (a sweep cut short) measures no rate.
                      {"per", r.frames > 0 ? json(r.per()) : json()},
                      {"complete", r.complete}});
    complete = complete && r.complete;
  }
  json thresholds = json::array();
  for (const double rate : s.ratesMbps) {
    std::vector<PointResult> curve;
    for (const PointResult& r : results)
      if (r.rateMbps == rate) curve.push_back(r);
    const std::optional<double> at = snrAt(curve);
    const std::optional<double> limit = sensitivitySnrDb(rate, s.job.frame.spacing);
    thresholds.push_back({{"rate_mbps", rate},
                          {"snr_db_at_per_10", at ? json(*at) : json()},
                          {"snr_db_limit", limit ? json(*limit) : json()}});
  }
  return json{{"settings", settings},
              {"points", points},
              {"thresholds", thresholds},
              {"complete", complete}}
      .dump(2);
}

std::string resultCsv(std::span<const PointResult> results) {
  std::string out = "rate_mbps,snr_db,frames,errors,missed,per,complete\n";
  for (const PointResult& r : results)
    out += num2str(r.rateMbps) + "," + num2str(r.snrDb) + "," + std::to_string(r.frames) + "," +
           std::to_string(r.errors) + "," + std::to_string(r.missed) + "," +
           (r.frames > 0 ? formatG(r.per(), 6) : std::string()) + "," +
           (r.complete ? "true" : "false") + "\n";
  return out;
}

}  // namespace dot11a::per

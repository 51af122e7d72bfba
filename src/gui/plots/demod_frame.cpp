// The selected frame of the Demodulate window: its constellation, EVM,
// flatness and channel plots and its payload with the MAC header read.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "dot11a/rate_table.hpp"
#include "dot11a/synthesis.hpp"
#include "gui/plots/demod_window.hpp"

namespace dot11a::plots {

namespace {

using gfx::Handle;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Sub-carrier spacing and the receiver's base rate of a 20 MHz channel; a
// frame of a narrower channel scales both by its clock.
constexpr double kSpacingHz = 312.5e3, kBaseRateHz = 20e6;

unsigned le16(std::span<const std::uint8_t> p, std::size_t at) {
  return static_cast<unsigned>(p[at]) | static_cast<unsigned>(p[at + 1]) << 8;
}

std::string address(std::span<const std::uint8_t> p, std::size_t at) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", p[at], p[at + 1], p[at + 2],
                p[at + 3], p[at + 4], p[at + 5]);
  return buf;
}

std::vector<double> subcarriers() {
  std::vector<double> k;
  for (int i = -26; i <= 26; ++i) k.push_back(i);
  return k;
}

// Draws a line, and a second one over it when `limit` holds any points.
void drawPair(Handle ax, const std::vector<double>& x, const std::vector<double>& y,
              const std::vector<double>& lx, const std::vector<double>& ly) {
  gfx::plotLine(ax, x, y, "b.-");
  if (!lx.empty()) {
    gfx::setString(ax, "NextPlot", "add");
    gfx::plotLine(ax, lx, ly, "r-");
    gfx::setString(ax, "NextPlot", "replace");
  }
  gfx::autoscale(ax);
  // The limits stay in view, with a little room above and below.
  const Value lim = gfx::get(ax, "YLim");
  double lo = lim.real(0), hi = lim.real(1);
  for (double v : ly)
    if (std::isfinite(v)) {
      lo = std::min(lo, v - 1);
      hi = std::max(hi, v + 1);
    }
  gfx::set(ax, "YLim", Value::row({lo, hi}));
}

// The equalised points of the frame and the rate's reference points over them.
void drawConstellation(Handle ax, const rx::FrameReport& f) {
  const auto xy = [](const auto& points) {
    std::pair<std::vector<double>, std::vector<double>> v;
    for (const auto& z : points) {
      v.first.push_back(z.real());
      v.second.push_back(z.imag());
    }
    if (v.first.empty()) v = {{kNaN}, {kNaN}};  // an empty plot
    return v;
  };
  const auto data = xy(f.dataPoints), pilots = xy(f.pilotPoints),
             // The rate at the frame's spacing names its 20 MHz table entry.
      reference = xy(referencePoints(f.rateMbps / clockFactor(f.spacing)));
  gfx::setString(gfx::plotLine(ax, data.first, data.second, "b."), "Tag", "KS_DemodDataPoints");
  gfx::setString(ax, "NextPlot", "add");
  gfx::setString(gfx::plotLine(ax, pilots.first, pilots.second, "r."), "Tag",
                 "KS_DemodPilotPoints");
  gfx::setString(gfx::plotLine(ax, reference.first, reference.second, "k+"), "Tag",
                 "KS_DemodReference");
  gfx::setString(ax, "NextPlot", "replace");
  // 64-QAM's outer points lie at 7 / sqrt(42) = 1.08.
  gfx::set(ax, "XLim", Value::row({-1.4, 1.4}));
  gfx::set(ax, "YLim", Value::row({-1.4, 1.4}));
}

}  // namespace

MacFields parseMacHeader(std::span<const std::uint8_t> psdu) {
  MacFields m;
  if (psdu.size() >= 2) {
    m.frameControl = le16(psdu, 0);
    m.type = (m.frameControl >> 2) & 3;
    m.subtype = (m.frameControl >> 4) & 15;
  }
  if (psdu.size() >= 4) m.duration = le16(psdu, 2);
  if (psdu.size() >= 10) m.address1 = address(psdu, 4);
  if (psdu.size() >= 16) m.address2 = address(psdu, 10);
  if (psdu.size() >= 22) m.address3 = address(psdu, 16);
  if (psdu.size() >= 24) {
    m.sequenceControl = le16(psdu, 22);
    m.sequenceNumber = m.sequenceControl >> 4;
    m.fragmentNumber = m.sequenceControl & 15;
    m.complete = true;
  }
  return m;
}

std::string hexDump(std::span<const std::uint8_t> octets) {
  std::string out;
  char buf[32];
  for (std::size_t i = 0; i < octets.size(); ++i) {
    if (i % 16 == 0) {
      if (i > 0) out += '\n';
      std::snprintf(buf, sizeof buf, "%04zx ", i);
      out += buf;
    }
    std::snprintf(buf, sizeof buf, " %02x", octets[i]);
    out += buf;
  }
  return out;
}

std::vector<double> groupDelayNs(const rx::FrameReport& f, double fftBackoff) {
  std::vector<double> out(53, kNaN);
  if (f.channel.size() != 53) return out;
  const double clock = clockFactor(f.spacing);
  std::vector<bool> usable(53, true);
  usable[26] = false;  // DC carries nothing
  for (const auto& list : {f.fadedSubcarriers, f.disabledSubcarriers})
    for (int k : list)
      if (k >= -26 && k <= 26) usable[static_cast<std::size_t>(k + 26)] = false;
  for (std::size_t i = 0; i < 53; ++i)
    if (!(std::abs(f.channel[i]) > 0)) usable[i] = false;
  // Delay between neighbours i and i + 1; the phase step between them is
  // under half a turn for any delay under 1.6 us, so it needs no unwrapping
  // beyond its principal value.
  const auto step = [&](std::size_t i) {
    if (i + 1 >= 53 || !usable[i] || !usable[i + 1]) return kNaN;
    const double turn = std::arg(f.channel[i + 1] * std::conj(f.channel[i]));
    return -turn / (2 * std::numbers::pi * kSpacingHz * clock) * 1e9;
  };
  const double backoffNs = fftBackoff / (kBaseRateHz * clock) * 1e9;
  for (std::size_t i = 0; i < 53; ++i) {
    if (!usable[i]) continue;
    const double left = i > 0 ? step(i - 1) : kNaN, right = step(i);
    double d = kNaN;
    if (std::isfinite(left) && std::isfinite(right))
      d = (left + right) / 2;
    else if (std::isfinite(left))
      d = left;
    else if (std::isfinite(right))
      d = right;
    out[i] = d - backoffNs;
  }
  return out;
}

std::vector<rx::cplx> referencePoints(double rateMbps) {
  const RateEntry* r = rateByMbps(rateMbps);
  if (r == nullptr) return {};
  const auto n = static_cast<std::size_t>(r->nbpsc);
  std::vector<std::uint8_t> bits;
  for (std::size_t v = 0; v < (std::size_t{1} << n); ++v)
    for (std::size_t b = 0; b < n; ++b) bits.push_back(static_cast<std::uint8_t>((v >> b) & 1));
  return convertToIQ(bits, r->modulation);
}

FramePlots makeFramePlots(gfx::Handle fig, double top) {
  const auto cell = [&](int r, int col) {
    return std::vector<double>{0.045 + col * 0.225, top - (r + 1) * top / 2 + 0.07, 0.165,
                               top / 2 - 0.12};
  };
  const auto axes = [&](int r, int col, const char* tag, const char* title, const char* x,
                        const char* y) {
    const Handle ax = gfx::newAxes(fig, cell(r, col));
    gfx::setString(ax, "Tag", tag);
    gfx::setString(ax, "Title", title);
    gfx::setString(ax, "XLabel", x);
    gfx::setString(ax, "YLabel", y);
    gfx::setString(ax, "XGrid", "on");
    gfx::setString(ax, "YGrid", "on");
    return ax;
  };
  FramePlots p;
  p.constellation = axes(0, 0, "KS_DemodConstellation", "Constellation", "I", "Q");
  p.evmCarrier = axes(0, 1, "KS_DemodEvmCarrier", "EVM per sub-carrier", "Sub-carrier", "dB");
  p.evmSymbol = axes(0, 2, "KS_DemodEvmSymbol", "EVM per symbol", "Symbol", "dB");
  p.flatness = axes(1, 0, "KS_DemodFlatness", "Spectral flatness", "Sub-carrier", "dB");
  p.channel = axes(1, 1, "KS_DemodChannel", "Channel magnitude", "Sub-carrier", "dB");
  p.groupDelay = axes(1, 2, "KS_DemodGroupDelay", "Group delay", "Sub-carrier", "ns");
  return p;
}

void drawFrame(const FramePlots& p, const rx::FrameReport& f, double fftBackoff) {
  drawConstellation(p.constellation, f);
  const std::vector<double> k = subcarriers();
  std::vector<double> evmK = f.evmPerSubcarrierDb;
  evmK.resize(53, kNaN);
  drawPair(p.evmCarrier, k, evmK, {-26, 26}, {f.evmLimitDb, f.evmLimitDb});
  std::vector<double> sym, evmS = f.evmPerSymbolDb;
  for (std::size_t s = 0; s < evmS.size(); ++s) sym.push_back(static_cast<double>(s));
  if (sym.empty()) {  // nothing decoded: an empty plot
    sym = {0};
    evmS = {kNaN};
  }
  drawPair(p.evmSymbol, sym, evmS, {0, sym.back()}, {f.evmLimitDb, f.evmLimitDb});
  // The flatness limits: +-2 dB within -16..16, +2 / -4 dB beyond.
  std::vector<double> flat = f.flatnessDb;
  flat.resize(53, kNaN);
  drawPair(p.flatness, k, flat, {-26, -16, -16, 16, 16, 26, kNaN, -26, 26},
           {-4, -4, -2, -2, -4, -4, kNaN, 2, 2});
  std::vector<double> mag(53, kNaN);
  for (std::size_t j = 0; j < f.channel.size() && j < 53; ++j)
    if (std::abs(f.channel[j]) > 0) mag[j] = 20 * std::log10(std::abs(f.channel[j]));
  drawPair(p.channel, k, mag, {}, {});
  // A clean channel's delay is flat: at least +-50 ns in view, so that
  // rounding noise does not fill the plot.
  const std::vector<double> delay = groupDelayNs(f, fftBackoff);
  gfx::setString(gfx::plotLine(p.groupDelay, k, delay, "b.-"), "Tag", "KS_DemodGroupDelayLine");
  gfx::autoscale(p.groupDelay);
  const Value lim = gfx::get(p.groupDelay, "YLim");
  const double mid = (lim.real(0) + lim.real(1)) / 2;
  if (std::isfinite(mid) && lim.real(1) - lim.real(0) < 100)
    gfx::set(p.groupDelay, "YLim", Value::row({mid - 50, mid + 50}));

  // The MAC header read comes first: below a long dump nobody finds it.
  std::string text;
  const MacFields m = parseMacHeader(f.psdu);
  if (m.complete) {
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "MAC header\nFrame control 0x%04x: type %u, subtype %u\nDuration %u\n"
                  "Address 1 %s\nAddress 2 %s\nAddress 3 %s\nSequence number %u, fragment %u\n\n",
                  m.frameControl, m.type, m.subtype, m.duration, m.address1.c_str(),
                  m.address2.c_str(), m.address3.c_str(), m.sequenceNumber, m.fragmentNumber);
    text = buf;
  }
  text += "PSDU, " + std::to_string(f.psdu.size()) + " octets\n" + hexDump(f.psdu);
  if (p.payload != nullptr) p.payload->setPlainText(QString::fromStdString(text));
}

}  // namespace dot11a::plots

// One question, one answer: the same settings through the main window (its
// controls and Signal menu, Calculate, Export Waveform and Save As),
// dot11a-gen, the Python module and dot11a-call (dot11a_Sequence) give the
// same samples and markers to the last bit, and the same files to the byte:
// SigMF, both MAT containers, the 16-bit file, PCAP and the parameter file.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "dot11a/files.hpp"
#include "dot11a/json.hpp"
#include "dot11a/levels.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/rate_table.hpp"
#include "gui/main_window.hpp"
#include "gui/shell.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

// One row of settings. Sub-carriers listed in `off` (-26 .. 26) are masked;
// the rate is given at the channel spacing (MHz).
struct Row {
  double rate;
  int oversampling;
  int length;
  bool header = false, fcs = false, unframed = false, mirror = false;
  std::vector<int> off = {};
  int window = 2;
  double idleUs = 100;
  unsigned service = 0, seed = 93;
  std::size_t frames = 1;
  std::string gap = "0";
  bool seedStep = false;
  std::optional<double> snr = {}, cfo = {}, clockPpm = {};
  std::optional<std::array<double, 2>> iq = {};
  std::uint64_t impairSeed = 1;
  int spacing = 20;
};

const Row kRows[] = {
    {.rate = 6, .oversampling = 1, .length = 100},
    {.rate = 9, .oversampling = 2, .length = 100, .header = true, .fcs = true},
    {.rate = 12, .oversampling = 3, .length = 200, .off = {-26, 7}},
    {.rate = 18, .oversampling = 4, .length = 50, .window = 16, .idleUs = 10},
    {.rate = 24,
     .oversampling = 2,
     .length = 300,
     .frames = 3,
     .gap = "SIFS",
     .seedStep = true,
     .snr = 25,
     .cfo = 30e3,
     .iq = std::array<double, 2>{0.5, 2},
     .impairSeed = 9},
    {.rate = 36,
     .oversampling = 1,
     .length = 80,
     .header = true,
     .frames = 2,
     .gap = "20",
     .clockPpm = 20,
     .impairSeed = 4},
    {.rate = 48, .oversampling = 2, .length = 120, .unframed = true},
    {.rate = 54, .oversampling = 3, .length = 64, .mirror = true, .service = 0x1234, .seed = 0x22},
    {.rate = 27,
     .oversampling = 2,
     .length = 90,
     .frames = 2,
     .gap = "SIFS",
     .cfo = 5e3,
     .impairSeed = 3,
     .spacing = 10},
    {.rate = 4.5, .oversampling = 1, .length = 40, .idleUs = 50, .spacing = 5},
};

std::string number(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  return s.str();
}

std::string hex(unsigned v) {
  char b[16];
  std::snprintf(b, sizeof b, "%X", v);
  return b;
}

std::string maskText(const Row& r) {
  std::string m(53, '1');
  m[26] = '0';
  for (int k : r.off) m[static_cast<std::size_t>(k + 26)] = '0';
  return m;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A MAT file's bytes after its 116-byte header text, which holds the time it
// was written.
std::string matBody(const std::string& path) {
  const std::string all = readAll(path);
  return all.size() > 116 ? all.substr(116) : std::string();
}

// The variables of a parameter file but its own path.
std::vector<NamedValue> parameterVariables(const std::string& path) {
  std::vector<NamedValue> vars = readMatFile(path);
  std::erase_if(vars, [](const NamedValue& v) { return v.first == "filename"; });
  return vars;
}

struct ToolRun {
  int status = -1;
  std::string output;
};

ToolRun run(const std::string& command) {
  ToolRun r;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  std::array<char, 4096> buf;
  std::size_t got = 0;
  while ((got = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), got);
  r.status = ::pclose(p);
  return r;
}

std::string shellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The raw doubles or bytes a Python array wrote with tofile().
template <class T>
std::vector<T> rawOf(const std::string& path) {
  const std::string b = readAll(path);
  std::vector<T> v(b.size() / sizeof(T));
  std::memcpy(v.data(), b.data(), v.size() * sizeof(T));
  return v;
}

class Conformance : public ShellTest {
 protected:
  // The waveform files every front end writes, by their extension and the
  // MAT container.
  struct Output {
    const char* file;
    const char* filter;  // of the window's Export Waveform
    const char* mat;
  };
  static constexpr Output kOutputs[] = {
      {"f.sigmf-meta", "*.sigmf-meta", "samples"},
      {"w.mat", "*.mat", "wave"},
      {"s.mat", "MAT container of the complex samples, \"samples\" (*.mat)", "samples"},
      {"f.bin", "*.bin", "samples"},
      {"f.pcap", "*.pcap", "samples"},
  };

  // The row's settings in the window's controls and Signal menu.
  void setTheWindow(const Row& r) {
    const auto rate = std::find_if(kRateTable.begin(), kRateTable.end(), [&](const RateEntry& e) {
      return e.mbps * r.spacing == r.rate * 20;
    });
    choose("pdChannelSpacing", r.spacing == 20 ? 1 : r.spacing == 10 ? 2 : 3);
    choose("pdDataRate", static_cast<double>(rate - kRateTable.begin() + 1));
    choose("pdOversampleRate", r.oversampling);
    type("txtWindowLength", std::to_string(r.window));
    type("txtIdleInterval", std::to_string(r.idleUs));
    type("txtServiceField", hex(r.service));
    type("txtScramblerInit", hex(r.seed));
    if (r.header) choose("chkMACheader", 1);
    if (r.fcs) choose("chkMACfcs", 1);
    type("txtDataLength", std::to_string(r.length));
    if (r.mirror) choose("chkMirrorSpectrum", 1);
    if (r.unframed) choose("tbGenerationMode", 0);
    mainwin::editFrame([&](FrameParameters& f) {
      for (int k : r.off) f.subCarriers[static_cast<std::size_t>(k + 26)] = 0;
    });
    shell::Signal& s = shell::signal();
    s.sequence.frames = r.frames;
    s.sequence.gap = Gap::parse(r.gap);
    s.sequence.seedStep = r.seedStep;
    s.impairments.snrDb = r.snr;
    s.impairments.cfoHz = r.cfo;
    s.impairments.clockPpm = r.clockPpm;
    if (r.iq) s.impairments.iq = impair::IqImbalance{(*r.iq)[0], (*r.iq)[1]};
    s.impairments.seed = r.impairSeed;
  }

  void throughTheWindow(const Row& r, const std::string& at) {
    setTheWindow(r);
    menu("pbCalculate");
    ASSERT_TRUE(script->shown.empty())
        << script->shown.front().title << ": " << script->shown.front().text;
    for (const Output& o : kOutputs) {
      script->answer(std::vector<std::string>{at + o.file, o.filter});
      menu("menuFileExportWaveform");
    }
    script->answer(at + "p.mat");
    menu("menuFileSaveAs");
    ASSERT_EQ(script->shown.size(), 6u);  // the five save dialogs and Save As, no error
  }

  std::string genOptions(const Row& r) const {
    std::string o = "--rate " + number(r.rate) + " --channel-spacing " + std::to_string(r.spacing) +
                    " --oversampling " + std::to_string(r.oversampling) + " --length " +
                    std::to_string(r.length) + " --window " + std::to_string(r.window) +
                    " --idle-us " + std::to_string(r.idleUs) + " --service " + hex(r.service) +
                    " --scrambler-init 0x" + hex(r.seed) + " --mask " + maskText(r) +
                    " --frequency 1e9";
    if (r.header) o += " --mac-header on";
    if (r.fcs) o += " --fcs on";
    if (r.unframed) o += " --unframed";
    if (r.mirror) o += " --mirror";
    if (r.frames > 1) o += " --frames " + std::to_string(r.frames) + " --gap-us " + r.gap;
    if (r.seedStep) o += " --seed-step";
    std::ostringstream num;
    num.precision(17);
    const auto add = [&](const char* name, const std::optional<double>& v) {
      if (!v) return;
      num.str("");
      num << *v;
      o += std::string(" ") + name + " " + num.str();
    };
    add("--snr", r.snr);
    add("--cfo", r.cfo);
    add("--clock-ppm", r.clockPpm);
    if (r.iq) {
      num.str("");
      num << (*r.iq)[0] << "," << (*r.iq)[1];
      o += " --iq-imbalance " + num.str();
    }
    o += " --seed " + std::to_string(r.impairSeed);
    return o;
  }

  void throughTheGenerator(const Row& r, const std::string& at) {
    const std::string gen = std::string(DOT11A_BIN_DIR) + "/dot11a-gen " + genOptions(r);
    for (const Output& o : kOutputs) {
      const ToolRun g = run(gen + " --mat " + o.mat + " -o " + at + o.file);
      ASSERT_EQ(g.status, 0) << g.output;
    }
    const ToolRun g = run(gen + " --save-params " + at + "p.mat");
    ASSERT_EQ(g.status, 0) << g.output;
  }

  // The keywords of the row as a Python dict literal.
  std::string keywords(const Row& r) const {
    std::ostringstream k;
    k.precision(17);
    k << "dict(rate=" << r.rate << ", channel_spacing=" << r.spacing * 1e6
      << ", oversampling=" << r.oversampling << ", length=" << r.length << ", window=" << r.window
      << ", idle_us=" << r.idleUs << ", service=" << r.service << ", scrambler_init=" << r.seed
      << ", mask=[" << maskText(r).substr(0, 1);
    for (char c : maskText(r).substr(1)) k << "," << c;
    k << "], frequency=1e9, mac_header=" << (r.header ? "True" : "False")
      << ", fcs=" << (r.fcs ? "True" : "False") << ", unframed=" << (r.unframed ? "True" : "False")
      << ", mirror=" << (r.mirror ? "True" : "False") << ", frames=" << r.frames
      << ", gap_us=" << (r.gap == "SIFS" ? "'SIFS'" : r.gap)
      << ", seed_step=" << (r.seedStep ? "True" : "False") << ", seed=" << r.impairSeed;
    if (r.snr) k << ", snr=" << *r.snr;
    if (r.cfo) k << ", cfo=" << *r.cfo;
    if (r.clockPpm) k << ", clock_ppm=" << *r.clockPpm;
    if (r.iq) k << ", iq_imbalance=(" << (*r.iq)[0] << ", " << (*r.iq)[1] << ")";
    k << ")";
    return k.str();
  }

  void throughPython(const Row& r, const std::string& at) {
#ifdef DOT11A_PYTHON_DIR
    std::string script = "import veltora\nkw = " + keywords(r) + "\n";
    for (const Output& o : kOutputs)
      script += "veltora.synthesize(**kw, output=" + shellQuoted(at + o.file) + ", mat='" + o.mat +
                "')\n";
    script +=
        "x, facts = veltora.synthesize(**kw, save_params=" + shellQuoted(at + "p.mat") + ")\n";
    script += "x.tofile(" + shellQuoted(at + "samples") + ")\n";
    script += "facts['marker1'].tofile(" + shellQuoted(at + "marker1") + ")\n";
    script += "facts['marker2'].tofile(" + shellQuoted(at + "marker2") + ")\n";
    const ToolRun p = run(std::string("PYTHONPATH=") + DOT11A_PYTHON_DIR + " /usr/bin/python3 -c " +
                          shellQuoted(script));
    ASSERT_EQ(p.status, 0) << p.output;
#else
    (void)r;
    (void)at;
#endif
  }

  // dot11a_Sequence of the window's parameter set, and the options record of
  // the row: its samples and markers as JSON.
  std::vector<Value> throughDot11aCall(const Row& r) {
    Value options =
        Value::record({{"frames", static_cast<double>(r.frames)},
                       {"gapUs", r.gap == "SIFS" ? Value("SIFS") : Value(std::stod(r.gap))},
                       {"seedStep", Value::logical(r.seedStep)},
                       {"seed", static_cast<double>(r.impairSeed)}});
    if (r.snr) options.setField("snrDb", *r.snr);
    if (r.cfo) options.setField("cfoHz", *r.cfo);
    if (r.clockPpm) options.setField("clockPpm", *r.clockPpm);
    if (r.iq)
      options.setField("iq", Value::record({{"gainDb", (*r.iq)[0]}, {"phaseDeg", (*r.iq)[1]}}));
    const ToolRun c =
        run(std::string(DOT11A_BIN_DIR) + "/dot11a-call --nout 2 dot11a_Sequence " +
            shellQuoted(valueToJson(params())) + " " + shellQuoted(valueToJson(options)));
    EXPECT_EQ(c.status, 0) << c.output;
    std::vector<Value> out;
    std::istringstream lines(c.output);
    for (std::string line; std::getline(lines, line);) out.push_back(valueFromJson(line));
    return out;
  }
};

TEST_F(Conformance, EveryFrontEndGivesTheSameSamplesMarkersAndFiles) {
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const Row& r = kRows[i];
    SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + genOptions(r));
    // A fresh window for every row.
    TearDown();
    SetUp();
    script->shown.clear();
    const std::string window = path("window-"), gen = path("gen-"), python = path("python-");
    throughTheWindow(r, window);
    if (HasFatalFailure()) return;
    throughTheGenerator(r, gen);
    throughPython(r, python);
    const std::vector<Value> call = throughDot11aCall(r);

    // Samples and markers.
    const Value& samples = global("waveform");
    EXPECT_EQ(global("SigGenSettings").field("SamplingRate").toScalar(),
              r.spacing * 1e6 * r.oversampling);
    const Value& markers = global("markers");
    ASSERT_EQ(call.size(), 2u);
    EXPECT_EQ(call[0], samples);
    EXPECT_EQ(call[1], markers);
    const std::vector<cplx> wave = samples.toComplex();
    std::vector<NamedValue> genMat = readMatFile(gen + "s.mat");
    ASSERT_EQ(genMat.at(0).first, "samples");
    EXPECT_EQ(genMat.at(0).second.toComplex(), wave);
#ifdef DOT11A_PYTHON_DIR
    EXPECT_EQ(rawOf<cplx>(python + "samples"), wave);
    std::vector<double> m1, m2;
    for (const auto& [bytes, row] : {std::pair{python + "marker1", 0}, {python + "marker2", 1}})
      for (std::uint8_t b : rawOf<std::uint8_t>(bytes)) (row == 0 ? m1 : m2).push_back(b);
    ASSERT_EQ(m1.size(), wave.size());
    for (std::size_t k = 0; k < wave.size(); ++k) {
      ASSERT_EQ(m1[k], markers.real(2 * k)) << k;
      ASSERT_EQ(m2[k], markers.real(2 * k + 1)) << k;
    }
#endif

    // Files, byte for byte (a MAT file after its dated header).
    std::vector<std::string> others = {gen};
#ifdef DOT11A_PYTHON_DIR
    others.push_back(python);
#endif
    for (const std::string& other : others) {
      SCOPED_TRACE(other);
      for (const char* f : {"f.sigmf-meta", "f.sigmf-data", "f.bin", "f.pcap"})
        EXPECT_TRUE(readAll(window + f) == readAll(other + f)) << f;
      for (const char* f : {"w.mat", "s.mat"})
        EXPECT_TRUE(matBody(window + f) == matBody(other + f)) << f;
      const std::vector<NamedValue> mine = parameterVariables(window + "p.mat"),
                                    theirs = parameterVariables(other + "p.mat");
      ASSERT_EQ(mine.size(), theirs.size());
      for (std::size_t v = 0; v < mine.size(); ++v) {
        EXPECT_EQ(mine[v].first, theirs[v].first);
        EXPECT_EQ(mine[v].second, theirs[v].second) << mine[v].first << "\n"
                                                    << valueToJson(mine[v].second) << "\n"
                                                    << valueToJson(theirs[v].second);
      }
    }
  }
}

// The levels at the generator's set level: the window's status line after
// Calculate, dot11a-gen with --power and Python's power= give the library's
// one answer for a noisy three-frame sequence (bursts and idle time differ).
TEST_F(Conformance, LevelReadoutsAtTheSetLevelAgree) {
  const Row& r = kRows[4];  // three frames, SIFS apart, with noise
  global("SigGenSettings").setField("Amplitude", Value(-47.0));
  setTheWindow(r);
  menu("pbCalculate");
  const std::shared_ptr<const Waveform> w = shell::calculatedWaveform();
  ASSERT_TRUE(w);
  const Levels exact = levelsOf(*w, -47);
  ASSERT_TRUE(exact.valid);
  EXPECT_GT(exact.burstDbm, -47.0);  // the idle time lowers the mean of the whole
  const std::string text = levelsText(exact);
  EXPECT_NE(message().find("At the set level -47 dBm: " + text), std::string::npos) << message();

  const ToolRun g =
      run(std::string(DOT11A_BIN_DIR) + "/dot11a-gen " + genOptions(r) + " --power -47");
  ASSERT_EQ(g.status, 0) << g.output;
  EXPECT_NE(g.output.find("levels:        " + text + " at the set level -47 dBm\n"),
            std::string::npos)
      << g.output;
  const ToolRun quiet = run(std::string(DOT11A_BIN_DIR) + "/dot11a-gen " + genOptions(r));
  EXPECT_EQ(quiet.output.find("levels:"), std::string::npos) << quiet.output;

#ifdef DOT11A_PYTHON_DIR
  const std::string script = "import veltora\nx, f = veltora.synthesize(**" + keywords(r) +
                             ", power=-47)\nl = f['levels']\nprint(repr(l['set_level_dbm']), "
                             "repr(l['burst_dbm']), repr(l['peak_dbm']), repr(l['papr_db']))\n";
  const ToolRun p = run(std::string("PYTHONPATH=") + DOT11A_PYTHON_DIR + " /usr/bin/python3 -c " +
                        shellQuoted(script));
  ASSERT_EQ(p.status, 0) << p.output;
  std::istringstream in(p.output);
  double set = 0, burst = 0, peak = 0, papr = 0;
  in >> set >> burst >> peak >> papr;
  EXPECT_EQ(set, -47);
  EXPECT_DOUBLE_EQ(burst, exact.burstDbm);
  EXPECT_DOUBLE_EQ(peak, exact.peakDbm);
  EXPECT_DOUBLE_EQ(papr, exact.paprDb);
#endif
}

}  // namespace
}  // namespace dot11a::test

// The application shell: its dispatcher and callbacks, the waveform check with
// its questions, the File menu round trips, the waveform exports, the memory
// options and the pointer.
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>

#include "dot11a/capture.hpp"
#include "dot11a/files.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"
#include "gui/shell.hpp"
#include "shell_fixture.hpp"

namespace dot11a::test {
namespace {

namespace fs = std::filesystem;

// Captures what the dispatchers print on the console.
class CaptureConsole {
 public:
  CaptureConsole() : old_(std::cerr.rdbuf(text_.rdbuf())) {}
  ~CaptureConsole() { std::cerr.rdbuf(old_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const Value* variable(const std::vector<NamedValue>& vars, const std::string& name) {
  for (const auto& [n, v] : vars)
    if (n == name) return &v;
  return nullptr;
}

// ---- applyDacRes -----------------------------------------------------------------

TEST(ApplyDacRes, QuantisesToTheStepsOfTheGivenResolution) {
  useLibrary();
  const auto quantise = [](const Value& w, double bits) {
    return feval1("applyDacRes", {w, bits});
  };
  const cplx in[] = {{1, 0}, {0, -0.5}};
  const Value w = Value::row(in);
  const Value three = quantise(w, 3);  // scale 3: -1.5 rounds away from zero to -2
  EXPECT_EQ(three.complexAt(0), cplx(1, 0));
  EXPECT_NEAR(three.complexAt(1).imag(), -2.0 / 3, 1e-15);
  EXPECT_EQ(quantise(w, 2), w);
  EXPECT_EQ(quantise(w, 40), quantise(w, 32));

  // 14 bits: the larger peak component is 8191 steps; shapes are kept.
  std::vector<double> re = {0.3, -0.7, 0.123456, 0.0001}, im = {0.1, 0.5, -0.2, 0};
  const Value col = Value::matrix(4, 1, re, im);
  const Value q = quantise(col, 14);
  EXPECT_EQ(q.rows(), 4u);
  EXPECT_EQ(q.cols(), 1u);
  const double step = 0.7 / 8191;
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(q.complexAt(k).real() / step, std::round(re[k] / step), 1e-9);
    EXPECT_NEAR(q.complexAt(k).imag() / step, std::round(im[k] / step), 1e-9);
  }
  const Value realRow = Value::row({0.25, -1});
  EXPECT_FALSE(quantise(realRow, 14).isComplex());

  const Value zeros = Value::row({0, 0, 0});
  EXPECT_EQ(quantise(zeros, 14), zeros);  // no peak: the input comes back
}

// ---- the dispatcher and the callbacks of every window ------------------------------

TEST_F(ShellTest, DispatcherRoutesTheFileOperationsAndPrintsErrors) {
  const auto ext = [](const std::string& name) {
    return feval("rfCommonUI", 1, {Value("addFileExtention"), Value(name), Value(".mat")})[0].str();
  };
  EXPECT_EQ(ext("a"), "a.mat");
  EXPECT_EQ(ext("set.mat"), "set.mat");
  EXPECT_EQ(ext("set.MAT"), "set.MAT.mat");
  EXPECT_EQ(ext("set.ma"), "set.ma.mat");

  CaptureConsole console;
  EXPECT_NO_THROW(feval("rfCommonUI", 0, {Value("noSuchCommand")}));
  EXPECT_NO_THROW(feval("rfCommonUI", 0, {Value("checkWaveformReady"), handles, Value(3.0)}));
  EXPECT_NE(console.text().find("Undefined function 'noSuchCommand' in rfCommonUI."),
            std::string::npos);
  EXPECT_NE(console.text().find("checkWaveformReady needs the action as a text."),
            std::string::npos);
}

// Callbacks of commands whose windows are built separately (the plots and the
// connection dialog); each is named here until its window is part of the build.
const std::set<std::string> kPendingCallbacks = {};

// Resolves "module('name',...)": the module must be callable and know the name.
// The shell's table is read directly; another module is asked with no further
// inputs, which reaches the operation (it then misses its inputs) or prints
// "Undefined function".
std::string unresolved(const std::string& callback) {
  static const std::regex form(R"(^\s*(\w+)\s*\(\s*'(\w+)')");
  std::smatch m;
  if (!std::regex_search(callback, m, form)) return "unreadable callback: " + callback;
  const std::string module = m[1], name = m[2];
  if (kPendingCallbacks.count(name)) return "";
  if (!isCallable(module)) return "no module " + module + " for " + callback;
  if (module == "rfCommonUI")
    return shell::commandTable().find(name) ? "" : "rfCommonUI has no " + name;
  CaptureConsole console;
  feval(module, 0, {Value(name)});
  if (console.text().find("Undefined function") != std::string::npos)
    return module + " has no " + name;
  return "";
}

void collectCallbacks(double fig, std::vector<std::pair<std::string, std::string>>& out) {
  QWidget* w = gfx::widgetOf(fig);
  ASSERT_NE(w, nullptr);
  QList<QObject*> objects = w->findChildren<QObject*>();
  objects.prepend(w);
  for (QObject* o : objects)
    for (const char* prop : {"Callback", "CloseRequestFcn"}) {
      const QString cb = o->property(prop).toString();
      if (!cb.isEmpty()) out.emplace_back(o->objectName().toStdString(), cb.toStdString());
    }
}

TEST_F(ShellTest, EveryCallbackOfEveryLayoutAndMenuResolves) {
  std::vector<std::pair<std::string, std::string>> callbacks;
  collectCallbacks(fig, callbacks);  // the main window with its menu bar
  for (const auto& entry :
       fs::directory_iterator(fs::path(DOT11A_TEST_DATA_DIR) / ".." / ".." / "layouts")) {
    if (entry.path().extension() != ".ui") continue;
    const double other = gfx::openLayout(entry.path().stem().string());
    collectCallbacks(other, callbacks);
    gfx::deleteFigure(other);
  }
  ASSERT_GT(callbacks.size(), 40u);
  std::set<std::string> seen;
  for (const auto& [tag, cb] : callbacks) {
    seen.insert(tag);
    EXPECT_EQ(unresolved(cb), "") << tag << ": " << cb;
  }
  for (const char* tag : {"menuFileNew", "menuFileExit", "menuHelpAbout", "pbDownload",
                          "menuSpecialSaveWave", "main"})
    EXPECT_TRUE(seen.count(tag)) << tag;
  // The pending list names only callbacks that really are missing.
  for (const std::string& name : kPendingCallbacks)
    EXPECT_EQ(shell::commandTable().find(name), nullptr)
        << name << " is built: drop it from the list";
}

// ---- checkWaveformReady ----------------------------------------------------------------

TEST_F(ShellTest, NoWaveformYetAsksToCalculateFirst) {
  script->answer("Cancel");
  EXPECT_EQ(ready("Plot"), 0);
  ASSERT_EQ(script->shown.size(), 1u);
  const auto& q = script->shown[0];
  EXPECT_EQ(q.kind, "question");
  EXPECT_EQ(q.title, "Waveform Not Calculated");
  EXPECT_EQ(q.text,
            "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform and "
            "then plot ?");
  EXPECT_EQ(q.options, (std::vector<std::string>{"Calculate & Plot", "Cancel"}));
  EXPECT_FALSE(calculated());

  EXPECT_EQ(ready("Plot"), 1);  // the default button calculates
  EXPECT_TRUE(calculated());
  EXPECT_EQ(global("waveform"), calculateFrame(params()).waveform);
  EXPECT_EQ(script->shown.size(), 2u);
  EXPECT_EQ(ready("Download"), 1);  // current: no question
  EXPECT_EQ(script->shown.size(), 2u);
  EXPECT_EQ(pointer(), "arrow");
}

TEST_F(ShellTest, ClosingTheQuestionNeverSendsToTheInstrument) {
  script->cancel();  // closed without a choice
  EXPECT_EQ(ready("Download"), 0);
  EXPECT_FALSE(calculated());
  script->cancel();
  EXPECT_EQ(ready("Plot"), 1);  // nothing leaves the application: closing calculates
  EXPECT_TRUE(calculated());
  type("txtDataLength", "300");
  script->cancel();
  const Value before = global("waveform");
  EXPECT_EQ(ready("Download"), 0);
  EXPECT_EQ(global("waveform"), before);
}

TEST_F(ShellTest, ChangedSettingsAskWhetherToUseTheOldWaveform) {
  gfx::runCallback(h("pbCalculate"));
  const Value old = global("waveform");
  type("txtFrequency", "2.4");  // generator settings never make the waveform stale
  EXPECT_EQ(ready("Plot"), 1);
  EXPECT_TRUE(script->shown.empty());

  type("txtDataLength", "200");
  script->answer("Yes");
  EXPECT_EQ(ready("Plot"), 1);
  ASSERT_EQ(script->shown.size(), 1u);
  const auto& q = script->shown[0];
  EXPECT_EQ(q.title, "Waveform Not Recalculated");
  EXPECT_EQ(q.text,
            "Settings have changed since last calculating the waveform.\nPlot will use the last "
            "calculated waveform.\nDo you wish to plot anyway ?");
  EXPECT_EQ(q.options, (std::vector<std::string>{"Yes", "Recalc & Plot", "Cancel"}));
  EXPECT_EQ(global("waveform"), old);  // "Yes" keeps the old waveform
  script->cancel();                    // Escape or the close box: Cancel, nothing shown
  EXPECT_EQ(ready("Plot"), 0);

  script->answer("Cancel");
  EXPECT_EQ(ready("Save"), 0);
  EXPECT_EQ(script->shown.back().options[1], "Recalc & Save");
  EXPECT_EQ(ready("Save"), 1);  // the default recalculates
  EXPECT_NE(global("waveform"), old);
  EXPECT_EQ(global("waveform"), calculateFrame(params()).waveform);
  EXPECT_EQ(ready("Save"), 1);
  EXPECT_EQ(script->shown.size(), 4u);
}

TEST_F(ShellTest, FailedCalculationDoesNotPassForACurrentWaveform) {
  params().setField("dataSourceType", 7.0);
  params().setField("dataSourceBitstream", Value::empty());
  EXPECT_EQ(ready("Plot"), 0);  // asked, calculated, failed
  EXPECT_EQ(lastShown().title, "Calculation Failed");
  EXPECT_EQ(pointer(), "arrow");
}

// ---- File menu ---------------------------------------------------------------------------

TEST_F(ShellTest, SavedSetupsComeBackAfterARestartAndGiveTheSameFrame) {
  type("txtDataLength", "200");
  choose("pdOversampleRate", 4);
  choose("pdDataRate", 5);
  gfx::setNumber(h("pdFrequencyUnits"), "Value", 4);
  type("txtFrequency", "2.412");
  type("txtAmplitude", "-7");
  gfx::runCallback(h("pbCalculate"));
  const Value saved = params();
  const Value savedSigGen = global("SigGenSettings");
  const Value frame = global("waveform");
  const std::string file = path("frame");
  script->answer(file);
  menu("menuFileSaveAs");
  ASSERT_TRUE(fs::exists(file + ".mat"));
  EXPECT_EQ(script->shown.back().options, (std::vector<std::string>{"*.mat"}));
  const std::string title = "Kestrin Veltora - IEEE 802.11a-1999 (OFDM) : " + file + ".mat";
  EXPECT_EQ(gfx::getString(fig, "Name"), title);

  // The window opens the file its title names: frame and generator settings.
  restart();
  EXPECT_EQ(gfx::getString(fig, "Name"), title);
  EXPECT_TRUE(feval1("compareStruct", {params(), saved}).truthy());
  EXPECT_TRUE(feval1("compareStruct", {global("SigGenSettings"), savedSigGen}).truthy());
  EXPECT_EQ(str("txtSamplingRate"), "80");
  EXPECT_EQ(str("txtFrequency"), "2.412");
  gfx::runCallback(h("pbCalculate"));
  EXPECT_EQ(global("waveform"), frame);

  // New, then Open: the same again.
  menu("menuFileNew");
  EXPECT_EQ(sigGen("Frequency"), 1e9);
  script->answer(file);  // Open adds the extension
  menu("menuFileOpen");
  EXPECT_TRUE(feval1("compareStruct", {global("SigGenSettings"), savedSigGen}).truthy());
  EXPECT_EQ(str("txtAmplitude"), "-7");

  // The file opened in this run is saved without a question.
  type("txtDataLength", "300");
  const std::size_t shown = script->shown.size();
  menu("menuFileSave");
  EXPECT_EQ(script->shown.size(), shown);
  ASSERT_TRUE(feval1("loadParameters", {Value(file + ".mat"), Value::empty()}).truthy());
  EXPECT_EQ(param("dataLength"), 300);

  // A file that no longer reads is not named after a restart.
  fs::remove(file + ".mat");
  restart();
  EXPECT_EQ(gfx::getString(fig, "Name"), "Kestrin Veltora - IEEE 802.11a-1999 (OFDM)");
  EXPECT_NE(message().find("could not be opened again"), std::string::npos) << message();
  EXPECT_EQ(param("OverSampling"), 2);
}

TEST_F(ShellTest, SaveWithoutAFileAsksForOneAndNewForgetsIt) {
  script->cancel();
  menu("menuFileSave");
  EXPECT_EQ(lastShown().kind, "save");
  EXPECT_EQ(global("configuration").field("LastParameterFilename").str(), "");
  script->answer(path("first"));
  menu("menuFileSave");
  EXPECT_TRUE(fs::exists(path("first.mat")));
  EXPECT_EQ(global("configuration").field("LastParameterFilename").str(), path("first.mat"));

  // Changed settings are not dropped without a word: Cancel, or closing the
  // question, keeps them; Discard goes on; Save writes them first.
  type("txtDataLength", "77");
  type("txtFrequency", "3");
  for (const char* keep : {"Cancel", ""}) {
    script->answer(keep);
    menu("menuFileNew");
    EXPECT_EQ(lastShown().title, "Unsaved Changes");
    EXPECT_EQ(lastShown().text, "Save changes to first.mat?");
    EXPECT_EQ(lastShown().options, (std::vector<std::string>{"Save", "Discard", "Cancel"}));
    EXPECT_EQ(param("dataLength"), 77);
  }
  script->answer("Save");
  menu("menuFileNew");
  EXPECT_EQ(param("dataLength"), defaultParameters().field("dataLength").toScalar());
  type("txtDataLength", "78");
  script->answer("Discard");
  menu("menuFileNew");
  EXPECT_EQ(global("configuration").field("LastParameterFilename").str(), "");
  EXPECT_EQ(gfx::getString(fig, "Name"), "Kestrin Veltora - IEEE 802.11a-1999 (OFDM)");
  EXPECT_EQ(param("dataLength"), defaultParameters().field("dataLength").toScalar());
  EXPECT_EQ(sigGen("Frequency"), 1e9);

  script->answer(path("missing.mat"));
  menu("menuFileOpen");
  EXPECT_EQ(lastShown().title, "Error Loading File");
  EXPECT_EQ(global("configuration").field("LastParameterFilename").str(), "");
  ASSERT_TRUE(feval1("loadParameters", {Value(path("first.mat")), Value::empty()}).truthy());
  EXPECT_EQ(param("dataLength"), 77);  // what Save wrote before New
}

// ---- waveform export ------------------------------------------------------------------

// The format follows the filter chosen, whatever the name; the extension is
// added. Each file reads back as the calculated waveform at its rate.
TEST_F(ShellTest, ExportWaveformWritesTheFormatOfTheChosenFilter) {
  choose("pdOversampleRate", 4);
  gfx::runCallback(h("pbCalculate"));
  const std::vector<cplx> wave = global("waveform").toComplex();
  const auto exportAs = [&](const std::string& name, const std::string& filter) {
    script->answer(std::vector<std::string>{path(name), filter});
    menu("menuFileExportWaveform");
  };
  exportAs("frame", "*.sigmf-meta");
  const Capture sigmf = readCapture(path("frame.sigmf-meta"));
  EXPECT_EQ(sigmf.sampleRate, 80e6);
  ASSERT_EQ(sigmf.samples.size(), wave.size());
  const std::string meta = readBytes(path("frame.sigmf-meta"));
  EXPECT_NE(meta.find("\"core:frequency\": 1000000000"), std::string::npos) << meta;
  EXPECT_NE(meta.find("\"core:label\": \"DATA\""), std::string::npos) << meta;

  exportAs("frame", "*.mat");
  const auto vars = readMatFile(path("frame.mat"));
  ASSERT_NE(variable(vars, "sampleRate"), nullptr);
  EXPECT_EQ(variable(vars, "sampleRate")->toScalar(), 80e6);
  exportAs("frame.bin", "*.bin");
  EXPECT_EQ(fs::file_size(path("frame.bin")), 4 * wave.size());
  exportAs("frame", "*.pcap");
  EXPECT_TRUE(fs::exists(path("frame.pcap")));
  EXPECT_EQ(lastShown().kind, "save");  // no error box
  EXPECT_EQ(message(), "Exported the waveform to frame.pcap.");
}

TEST_F(ShellTest, SaveAsWithTheReservedPrefixExportsTheWaveform) {
  // Before any calculation the export asks to calculate first.
  script->answer(path("waveout.mat-wave.mat"));
  script->answer("Calculate & Save");
  script->answer("MAT");
  menu("menuFileSaveAs");
  ASSERT_GE(script->shown.size(), 3u);
  EXPECT_EQ(script->shown[1].title, "Waveform Not Calculated");
  EXPECT_EQ(script->shown[1].options[0], "Calculate & Save");
  EXPECT_EQ(script->shown[2].title, "Special Save");
  EXPECT_EQ(script->shown[2].options, (std::vector<std::string>{"ASCII", "Zenfold", "MAT"}));
  EXPECT_FALSE(fs::exists(path("waveout.mat-wave.mat")));
  const std::vector<cplx> wave = global("waveform").toComplex();
  {
    const auto vars = readMatFile(path("mat-wave.mat"));
    const Value* samples = variable(vars, "samples");
    ASSERT_NE(samples, nullptr);
    EXPECT_EQ(samples->cols(), 1u);
    EXPECT_EQ(samples->toComplex(), wave);
  }
  EXPECT_EQ(global("configuration").field("LastParameterFilename").str(), "");

  script->answer(path("waveout.iq-wave.mat"));
  script->answer("ASCII");
  menu("menuFileSaveAs");
  {
    const auto vars = readMatFile(path("iq-wave.mat"));
    const Value* samples = variable(vars, "samples");
    ASSERT_NE(samples, nullptr);
    ASSERT_EQ(samples->rows(), wave.size());
    ASSERT_EQ(samples->cols(), 2u);
    for (std::size_t k = 0; k < wave.size(); k += 97) {
      EXPECT_EQ(samples->real(k), wave[k].real());
      EXPECT_EQ(samples->real(wave.size() + k), wave[k].imag());
    }
  }

  script->answer(path("waveout.wave.bin"));
  script->answer("Zenfold");
  menu("menuFileSaveAs");
  const std::vector<std::uint8_t> expected = zenfoldBytes(wave);
  EXPECT_EQ(readBytes(path("wave.bin")), std::string(expected.begin(), expected.end()));

  // An existing file of the stripped name is replaced only when confirmed.
  std::ofstream(path("keep.bin")) << "precious";
  script->answer(path("waveout.keep.bin"));
  script->answer("No");
  menu("menuFileSaveAs");
  EXPECT_EQ(lastShown().title, "Confirm Save As");
  EXPECT_EQ(readBytes(path("keep.bin")), "precious");
  script->answer(path("waveout.keep.bin"));
  script->cancel();
  menu("menuFileSaveAs");
  EXPECT_EQ(readBytes(path("keep.bin")), "precious");

  // The bare prefix is a parameter file name.
  script->answer(path("waveout."));
  menu("menuFileSaveAs");
  EXPECT_TRUE(fs::exists(path("waveout..mat")));
  EXPECT_EQ(pointer(), "arrow");
}

TEST_F(ShellTest, SpecialSaveWaveWritesRateCountAndTheTwoRows) {
  gfx::runCallback(h("pbCalculate"));
  script->answer(path("special.txt"));
  menu("menuSpecialSaveWave");
  EXPECT_EQ(lastShown().options, (std::vector<std::string>{"*.txt"}));
  const auto vars = readMatFile(path("special.txt"));
  const std::vector<cplx> wave = global("waveform").toComplex();
  ASSERT_NE(variable(vars, "samplePoints"), nullptr);
  EXPECT_EQ(variable(vars, "samplePoints")->toScalar(), double(wave.size()));
  EXPECT_EQ(variable(vars, "sampleRate")->toScalar(), 40e6);
  const Value* w = variable(vars, "wave");
  ASSERT_EQ(w->rows(), 2u);
  ASSERT_EQ(w->cols(), wave.size());
  EXPECT_EQ(w->real(0), wave[0].real());
  EXPECT_EQ(w->real(2 * 123 + 1), wave[123].imag());

  script->answer(path("no/such/folder/x.txt"));
  menu("menuSpecialSaveWave");
  EXPECT_EQ(lastShown().kind, "error");
  EXPECT_EQ(lastShown().title, "Error Saving x.txt");
  EXPECT_EQ(pointer(), "arrow");
}

TEST_F(ShellTest, ExportedContainersReadBackInSciPy) {
  // The system's Python (where the distribution's SciPy lives) before any other.
  std::string python;
  for (const char* candidate : {"/usr/bin/python3", "python3"})
    if (python.empty() &&
        std::system((std::string(candidate) + " -c 'import scipy.io' 2>/dev/null").c_str()) == 0)
      python = candidate;
  if (python.empty()) GTEST_SKIP() << "SciPy is not installed";
  gfx::runCallback(h("pbCalculate"));
  script->answer(path("waveout.c.mat"));
  script->answer("MAT");
  menu("menuFileSaveAs");
  script->answer(path("s.txt"));
  menu("menuSpecialSaveWave");
  const std::vector<cplx> wave = global("waveform").toComplex();
  std::ostringstream py;
  py.precision(17);
  py << python << " -c \"import scipy.io as s, numpy as n\n"
     << "a = s.loadmat('" << path("c.mat") << "')['samples']\n"
     << "b = s.loadmat('" << path("s.txt") << "', appendmat=False)\n"
     << "assert a.shape == (" << wave.size() << ", 1), a.shape\n"
     << "assert abs(a[5, 0] - complex(" << wave[5].real() << ", " << wave[5].imag()
     << ")) < 1e-12\n"
     << "assert b['wave'].shape == (2, " << wave.size() << ")\n"
     << "assert n.allclose(b['wave'][0] + 1j * b['wave'][1], a[:, 0], atol=0)\n"
     << "assert b['sampleRate'][0, 0] == 40e6 and b['samplePoints'][0, 0] == " << wave.size()
     << "\"";
  EXPECT_EQ(std::system(py.str().c_str()), 0);
}

// ---- memory options (platform c) ----------------------------------------------------------

TEST_F(ShellTest, MemoryOptionsMarkTheirItemAndAskBeforeAResetToDefaults) {
  global("appInfo").setField("Platform", Value("c"));
  const double c = feval1("loadFigure", {Value("dot11a_GUI_b.fig"), 0.0}).toScalar();
  feval("rfCommonUI", 0, {Value("AddMenuBar"), c});
  const Value hc = gfx::guihandles(c);
  gfx::setGuidata(c, hc);
  feval("rfCommonUI", 0, {Value("InitializeFigure"), hc});
  const auto checked = [&](const char* tag) {
    return gfx::getString(hc.field(tag).toScalar(), "Checked") == "on";
  };
  const auto pick = [&](const char* tag) { gfx::runCallback(hc.field(tag).toScalar()); };
  EXPECT_FALSE(checked("menuConfigBBG1Opt1"));  // M32 by default
  EXPECT_TRUE(checked("menuConfigBBG1Opt2"));
  EXPECT_NE(gfx::getString(hc.field("txtNumberOfSamples").toScalar(), "TooltipString")
                .find("8 or 32 M samples"),
            std::string::npos);

  params().setField("ProjectedLength", 8000000.0);  // fits: no question
  pick("menuConfigBBG1Opt1");
  EXPECT_TRUE(script->shown.empty());
  EXPECT_EQ(global("configuration").field("BBGtype").str(), "M08");
  EXPECT_TRUE(checked("menuConfigBBG1Opt1"));
  EXPECT_FALSE(checked("menuConfigBBG1Opt2"));
  pick("menuConfigBBG1Opt2");
  EXPECT_EQ(global("configuration").field("BBGtype").str(), "M32");
  EXPECT_TRUE(checked("menuConfigBBG1Opt2"));

  params().setField("dataLength", 77.0);
  params().setField("ProjectedLength", 8000001.0);
  for (bool close : {true, false}) {
    if (close)
      script->cancel();
    else
      script->answer("Cancel");
    pick("menuConfigBBG1Opt1");
    EXPECT_EQ(global("configuration").field("BBGtype").str(), "M32");
    EXPECT_EQ(param("dataLength"), 77);
    EXPECT_TRUE(checked("menuConfigBBG1Opt2"));
  }
  const auto& q = script->shown.back();
  EXPECT_EQ(q.title, "Waveform too large");
  EXPECT_EQ(q.text,
            "The waveform based on the current settings \nis too large to for Option M08. "
            "Changing to\nOption M08 will reset all settings to the defaults.\nDo you wish to "
            "change anyway ?");
  EXPECT_EQ(q.options, (std::vector<std::string>{"Yes", "Cancel"}));
  params().setField("OverSampling", 4.0);
  params().setField("ProjectedLength", 8000001.0);
  script->answer("Yes");
  pick("menuConfigBBG1Opt1");
  EXPECT_EQ(global("configuration").field("BBGtype").str(), "M08");
  EXPECT_EQ(param("dataLength"), defaultParameters().field("dataLength").toScalar());
  EXPECT_EQ(sigGen("SamplingRate"), 40e6);
  EXPECT_TRUE(checked("menuConfigBBG1Opt1"));
  gfx::deleteFigure(c);
}

TEST_F(ShellTest, SpectrumAnalyzerConnectionWritesNoLayoutFile) {
  const Value before = global("configurationSA");
  CaptureConsole console;
  // The dialog opens with the analyzer's title and is cancelled.
  std::string title;
  QTimer cancel;
  QObject::connect(&cancel, &QTimer::timeout, [&] {
    const double dialog = gfx::findFigure("figureVisaAddress");
    if (dialog == 0 || gfx::getString(dialog, "Visible") != "on") return;
    title = gfx::getString(dialog, "Name");
    gfx::runCallback(gfx::guidata(dialog).field("pbCancel").toScalar());
  });
  cancel.start(5);
  command("menuConfigSpecAnIO_Callback");
  EXPECT_EQ(title, "Spectrum Analyzer IO Connection");
  EXPECT_FALSE(fs::exists("layouts"));
  EXPECT_FALSE(fs::exists("KS_SigGen.fig"));
  EXPECT_EQ(global("configurationSA"), before);
  EXPECT_EQ(pointer(), "arrow");
}

}  // namespace
}  // namespace dot11a::test

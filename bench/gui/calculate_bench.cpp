// The main window's Calculate of the largest frame on Qt's offscreen platform:
// from the Calculate button's callback to the window's events processed, with
// the projected length shown in the window checked against the waveform made.
// The settings are entered through the window's own controls: 6 Mbit/s,
// oversampling 4, window 16, no idle interval, the longest payload the SIGNAL
// field announces.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dot11a/call.hpp"
#include "dot11a/dialogs.hpp"
#include "dot11a/library.hpp"
#include "gui/graphics/graphics.hpp"

namespace {

using dot11a::Value;
namespace gfx = dot11a::gfx;

void BM_GuiCalculateLargestFrame(benchmark::State& state) {
  dot11a::ScopedScriptedDialogs script;
  gfx::setSplashMinimumMs(0);
  const double fig = dot11a::feval1("dot11a_GUI_b", {}).toScalar();
  const Value handles = gfx::guihandles(fig);
  auto h = [&](const char* tag) { return handles.field(tag).toScalar(); };
  auto type = [&](const char* tag, const std::string& text) {
    gfx::setString(h(tag), "String", text);
    gfx::runCallback(h(tag));
  };
  auto choose = [&](const char* tag, double item) {
    gfx::setNumber(h(tag), "Value", item);
    gfx::runCallback(h(tag));
  };
  choose("pdDataRate", 1);  // 6 Mbit/s
  choose("pdOversampleRate", 4);
  type("txtWindowLength", "16");
  type("txtIdleInterval", "0");
  type("txtDataLength", "4095");  // clamped to what the SIGNAL field announces
  QCoreApplication::processEvents();
  const std::string shown = gfx::getString(h("txtNumberOfSamples"), "String");

  for (auto _ : state) {
    gfx::runCallback(h("pbCalculate"));
    QCoreApplication::processEvents();
  }
  const double samples = static_cast<double>(dot11a::global("waveform").numel());
  if (!script->shown.empty()) state.SkipWithError("Calculate showed a dialog");
  if (shown != std::to_string(static_cast<long long>(samples)) + " Samples")
    state.SkipWithError(("the window shows " + shown).c_str());
  state.counters["samples"] = samples;
  gfx::deleteFigure(fig);
  QCoreApplication::processEvents();
}
BENCHMARK(BM_GuiCalculateLargestFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The application stores its configuration in the current folder when it
  // stops: run in a folder of this run's own.
  const auto work =
      std::filesystem::temp_directory_path() / ("dot11a-gui-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(work);
  std::filesystem::current_path(work);
  int status = 0;
  {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
      status = 1;
    } else {
      dot11a::LibrarySession session;
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
    }
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(work);
  return status;
}

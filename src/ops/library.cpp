// Library start and stop, the shared globals and the lifecycle hooks.
#include <algorithm>
#include <array>
#include <map>

#include "dot11a/call.hpp"
#include "dot11a/library.hpp"

namespace dot11a {

namespace {

constexpr std::array<std::string_view, 13> kGlobalNames = {
    "MACheader",       "SigGenSettings", "SignalSettings", "appInfo", "configuration",
    "configurationSA", "figureList",     "hdlPlotArea",    "markers", "names",
    "parameters",      "states",         "waveform"};

struct State {
  bool running = false;
  std::map<std::string_view, Value> globals;
  std::vector<LifecycleHook> hooks;
  std::size_t started = 0;  // hooks started, for a clean stop after a failed start
};

State& state() {
  static State s;
  return s;
}

}  // namespace

Value& global(std::string_view name) {
  auto it = std::find(kGlobalNames.begin(), kGlobalNames.end(), name);
  if (it == kGlobalNames.end())
    raise("There is no shared global named '" + std::string(name) + "'.");
  return state().globals[*it];
}

std::span<const std::string_view> globalNames() {
  return kGlobalNames;
}

bool libraryRunning() {
  return state().running;
}

void requireRunning(std::string_view caller) {
  if (!state().running)
    raise("The library is not started: call Dot11a_b_libInitialize before calling " +
          std::string(caller) + ".");
}

void addLifecycleHook(LifecycleHook hook) {
  auto& hooks = state().hooks;
  hooks.insert(std::upper_bound(hooks.begin(), hooks.end(), hook,
                                [](const LifecycleHook& a, const LifecycleHook& b) {
                                  return a.order < b.order;
                                }),
               hook);
}

}  // namespace dot11a

extern "C" void Dot11a_b_libInitialize(void) {
  using namespace dot11a;
  State& s = state();
  if (s.running) return;
  s.globals.clear();
  for (std::string_view name : kGlobalNames) s.globals[name] = Value();
  s.started = 0;
  try {
    for (const LifecycleHook& h : s.hooks) {
      if (h.start) h.start();
      ++s.started;
    }
  } catch (...) {
    // Undo what was started, so that a later start begins clean.
    for (std::size_t i = s.started; i-- > 0;)
      if (s.hooks[i].stop) s.hooks[i].stop();
    s.started = 0;
    throw;
  }
  s.running = true;
}

extern "C" void Dot11a_b_libTerminate(void) {
  using namespace dot11a;
  State& s = state();
  if (!s.running) return;
  for (std::size_t i = s.started; i-- > 0;) {
    try {
      if (s.hooks[i].stop) s.hooks[i].stop();
    } catch (...) {
      // A tear-down that fails must not keep the others from running.
    }
  }
  s.started = 0;
  s.globals.clear();
  s.running = false;
}

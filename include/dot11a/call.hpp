// Calling operations: the descriptor of an operation, the view an operation's
// body has of one call, calls by name with module-local tables, the shared
// globals and the library's lifecycle hooks.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/error.hpp"
#include "dot11a/export.hpp"
#include "dot11a/value.hpp"

DOT11A_API_BEGIN

namespace dot11a {

class Call;
using OpFn = void (*)(Call&);

// Declared argument counts: a fixed number, any number, or one fixed argument
// followed by any number.
inline constexpr int kAny = -1;
inline constexpr int kOnePlus = -2;

struct OpInfo {
  std::string_view name;     // as called by name, e.g. "dot11a_FRAME"
  int nin = 0;               // fixed count, kAny or kOnePlus
  int nout = 0;              // fixed count or kAny
  int line = 1;              // declaration line quoted in the count errors
  std::string_view errName;  // name in the count errors ("module/sub" for sub-functions)
  OpFn fn = nullptr;         // null: the operation is not available in this build
};

// The exact texts of the argument-count errors.
std::string tooManyOutputsMessage(const OpInfo& op);
std::string tooManyInputsMessage(const OpInfo& op);

// One call of an operation, as its body sees it. Inputs are 0-based here; the
// name given to in() is the input's name in the operation's declaration and is
// quoted when the caller did not supply it.
class Call {
 public:
  Call(const OpInfo& op, int nargout, std::span<const Value> inputs);

  const OpInfo& op() const { return *op_; }
  int nargout() const { return nargout_; }
  // Inputs given, up to the last one that is not absent.
  std::size_t nargin() const { return nargin_; }
  std::span<const Value> inputs() const { return inputs_; }
  bool has(std::size_t i) const { return i < inputs_.size() && !inputs_[i].isAbsent(); }
  // Input i; raises the absent-input error naming it when it was not supplied.
  const Value& in(std::size_t i, std::string_view name) const;
  // Input i, or `fallback` when it was not supplied.
  const Value& inOr(std::size_t i, const Value& fallback) const {
    return has(i) ? inputs_[i] : fallback;
  }

  // Names of the outputs, for the unassigned-output warning.
  void outputNames(std::initializer_list<std::string_view> names);
  // Output i; marks it assigned. Outputs beyond those asked for may be assigned
  // and are discarded.
  Value& out(std::size_t i);

  // Used by the frame after the body ran: the outputs asked for, with a warning
  // for each one the body never assigned.
  std::vector<Value> finish();

 private:
  const OpInfo* op_;
  int nargout_;
  std::size_t nargin_ = 0;
  std::span<const Value> inputs_;
  std::vector<Value> outputs_;
  std::vector<bool> assigned_;
  std::vector<std::string_view> outNames_;
};

// ---- the library's operations and calls by name ----------------------------

// The operation table (85 entries, in table order).
std::span<const OpInfo> operationTable();
// The library operation of that name, or null.
const OpInfo* findOperation(std::string_view name);

// Runs an operation with the count checks of the mlx form: more outputs than
// declared, then more inputs than declared, raise the count errors and nothing
// runs. Missing trailing inputs are absent.
std::vector<Value> invoke(const OpInfo& op, int nargout, std::span<const Value> inputs);

// A call by name: the running module's local table, then the library's
// operation table, then the runtime's built-ins.
std::vector<Value> feval(std::string_view name, int nargout, std::span<const Value> inputs);
inline std::vector<Value> feval(std::string_view name, int nargout,
                                std::initializer_list<Value> inputs) {
  return feval(name, nargout, std::span<const Value>(inputs.begin(), inputs.size()));
}
// The one output of a call by name (absent when the operation gave none).
Value feval1(std::string_view name, std::initializer_list<Value> inputs);
// True when a call by name would find something.
bool isCallable(std::string_view name);

// A module's table of sub-functions (callbacks and helpers reachable by name
// while the module runs).
struct LocalTable {
  std::string_view module;
  std::vector<OpInfo> functions;
  const OpInfo* find(std::string_view name) const;
};

// Installs a module's local table for the lifetime of the guard and restores
// the caller's table afterwards, also when an error unwinds.
class ModuleScope {
 public:
  explicit ModuleScope(const LocalTable* table);
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;

 private:
  const LocalTable* previous_;
};
const LocalTable* currentLocalTable();

// Runtime built-ins (resolved after the operation table). Strings must outlive
// the registration; literals do.
void registerBuiltin(const OpInfo& info);
const OpInfo* findBuiltin(std::string_view name);

// ---- shared globals ---------------------------------------------------------

// The twelve shared globals: "MACheader", "SigGenSettings", "appInfo",
// "configuration", "configurationSA", "figureList", "hdlPlotArea", "markers",
// "names", "parameters", "states", "waveform". They start absent and keep their
// values until the library stops. Any other name is a run-time error.
Value& global(std::string_view name);
std::span<const std::string_view> globalNames();

// ---- library lifecycle --------------------------------------------------------

bool libraryRunning();
// Raises a clear run-time error when the library has not been started.
void requireRunning(std::string_view caller);

// A subsystem that needs set-up at start and tear-down at stop (the graphics
// layer, caches) registers a hook from a static initializer. Hooks start in
// increasing `order` and stop in reverse.
struct LifecycleHook {
  int order;
  void (*start)();
  void (*stop)();
};
void addLifecycleHook(LifecycleHook hook);

}  // namespace dot11a

DOT11A_API_END

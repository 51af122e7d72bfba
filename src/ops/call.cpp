// Calls of operations: count checks, the per-call view of inputs and outputs,
// calls by name and module-local tables.
#include <algorithm>
#include <map>
#include <new>
#include <stdexcept>
#include <string>

#include "dot11a/call.hpp"
#include "ops/entry.hpp"

namespace dot11a {

namespace {

std::string countMessage(const OpInfo& op, const char* what, int count) {
  return "Run-time Error: File: " + std::string(op.errName) + " Line: " + std::to_string(op.line) +
         " Column: 1 The function \"" + std::string(op.errName) +
         "\" was called with more than the declared number of " + what + " (" +
         std::to_string(count) + ").";
}

const LocalTable*& localTableSlot() {
  static const LocalTable* current = nullptr;
  return current;
}

std::map<std::string, OpInfo, std::less<>>& builtins() {
  static std::map<std::string, OpInfo, std::less<>> table;
  return table;
}

}  // namespace

std::string tooManyOutputsMessage(const OpInfo& op) {
  return countMessage(op, "outputs", op.nout);
}
std::string tooManyInputsMessage(const OpInfo& op) {
  return countMessage(op, "inputs", op.nin);
}

Call::Call(const OpInfo& op, int nargout, std::span<const Value> inputs)
    : op_(&op), nargout_(nargout), inputs_(inputs) {
  nargin_ = inputs.size();
  while (nargin_ > 0 && inputs[nargin_ - 1].isAbsent()) --nargin_;
  const std::size_t n = static_cast<std::size_t>(std::max(nargout, 0));
  outputs_.resize(n);
  assigned_.resize(n, false);
}

const Value& Call::in(std::size_t i, std::string_view name) const {
  if (!has(i))
    raise("The input \"" + std::string(name) + "\" (argument " + std::to_string(i + 1) + ") of " +
          std::string(op_->errName) + " was not supplied.");
  return inputs_[i];
}

void Call::outputNames(std::initializer_list<std::string_view> names) {
  outNames_ = names;
}

Value& Call::out(std::size_t i) {
  if (i >= outputs_.size()) {
    outputs_.resize(i + 1);
    assigned_.resize(i + 1, false);
  }
  assigned_[i] = true;
  return outputs_[i];
}

std::vector<Value> Call::finish() {
  const std::size_t wanted = static_cast<std::size_t>(std::max(nargout_, 0));
  // An operation with a variable number of outputs may give fewer than asked;
  // so may any operation asked for one output that it does not assign (a plain
  // call whose result is ignored).
  for (std::size_t i = 0; i < wanted && i < outputs_.size(); ++i) {
    if (assigned_[i]) continue;
    std::string name =
        i < outNames_.size() ? std::string(outNames_[i]) : "output " + std::to_string(i + 1);
    warning("One or more output arguments not assigned during call to \"" +
            std::string(op_->errName) + "\" (" + name + ").");
  }
  if (outputs_.size() > wanted && op_->nout != kAny) outputs_.resize(wanted);
  return std::move(outputs_);
}

std::span<const OpInfo> operationTable() {
  return {detail::kOperationTable, detail::kOperationCount};
}

const OpInfo* findOperation(std::string_view name) {
  for (const OpInfo& op : operationTable())
    if (op.name == name) return &op;
  return nullptr;
}

std::vector<Value> invoke(const OpInfo& op, int nargout, std::span<const Value> inputs) {
  if (op.nout != kAny && nargout > op.nout) raise(tooManyOutputsMessage(op));
  if (op.nin >= 0 && inputs.size() > static_cast<std::size_t>(op.nin))
    raise(tooManyInputsMessage(op));
  if (op.fn == nullptr)
    raise("The operation \"" + std::string(op.errName) +
          "\" is not available in this build of the library yet.");
  // Missing trailing inputs are absent.
  std::vector<Value> padded;
  std::span<const Value> in = inputs;
  if (op.nin > 0 && inputs.size() < static_cast<std::size_t>(op.nin)) {
    padded.assign(inputs.begin(), inputs.end());
    padded.resize(static_cast<std::size_t>(op.nin));
    in = padded;
  }
  Call call(op, nargout, in);
  try {
    op.fn(call);
  } catch (const std::bad_alloc&) {
    raise(std::string(kOutOfMemory));  // a size asked for was more than memory holds
  } catch (const std::length_error&) {
    raise(std::string(kOutOfMemory));  // ... or more than a container can hold
  }
  return call.finish();
}

const OpInfo* LocalTable::find(std::string_view name) const {
  for (const OpInfo& f : functions)
    if (f.name == name) return &f;
  return nullptr;
}

ModuleScope::ModuleScope(const LocalTable* table) : previous_(localTableSlot()) {
  localTableSlot() = table;
}
ModuleScope::~ModuleScope() {
  localTableSlot() = previous_;
}
const LocalTable* currentLocalTable() {
  return localTableSlot();
}

void registerBuiltin(const OpInfo& info) {
  builtins()[std::string(info.name)] = info;
}

const OpInfo* findBuiltin(std::string_view name) {
  auto it = builtins().find(name);
  return it == builtins().end() ? nullptr : &it->second;
}

namespace {
const OpInfo* resolve(std::string_view name) {
  if (const LocalTable* t = currentLocalTable())
    if (const OpInfo* f = t->find(name)) return f;
  if (const OpInfo* op = findOperation(name)) return op;
  return findBuiltin(name);
}
}  // namespace

std::vector<Value> feval(std::string_view name, int nargout, std::span<const Value> inputs) {
  requireRunning(name);
  const OpInfo* op = resolve(name);
  if (op == nullptr) raise("Undefined function or variable '" + std::string(name) + "'.");
  return invoke(*op, nargout, inputs);
}

Value feval1(std::string_view name, std::initializer_list<Value> inputs) {
  std::vector<Value> out = feval(name, 1, inputs);
  return out.empty() ? Value() : std::move(out[0]);
}

bool isCallable(std::string_view name) {
  return resolve(name) != nullptr;
}

namespace detail {

std::vector<Value> runEntry(std::size_t index, int nargout, std::span<const Value> inputs) {
  const OpInfo& op = kOperationTable[index];
  requireRunning(op.name);
  return invoke(op, nargout, inputs);
}

void runMlx(std::size_t index, int nlhs, Value plhs[], int nrhs, const Value prhs[]) {
  const OpInfo& op = kOperationTable[index];
  requireRunning(op.name);
  if (nlhs < 0 || nrhs < 0 || (nrhs > 0 && prhs == nullptr) || (nlhs > 0 && plhs == nullptr))
    raise("mlx" + std::string(op.name) + ": invalid argument arrays.");
  std::vector<Value> outs =
      invoke(op, nlhs, std::span<const Value>(prhs, static_cast<std::size_t>(nrhs)));
  for (int i = 0; i < nlhs && static_cast<std::size_t>(i) < outs.size(); ++i)
    plhs[i] = std::move(outs[static_cast<std::size_t>(i)]);
}

void bindOperations(std::span<const OpBinding> bindings) {
  for (const OpBinding& b : bindings)
    if (b.index < kOperationCount) kOperationTable[b.index].fn = b.fn;
}

int outputListCount(const Value* outputs) {
  if (outputs == nullptr || outputs->numel() == 0) return 1;
  return static_cast<int>(outputs->numel());
}

}  // namespace detail

}  // namespace dot11a

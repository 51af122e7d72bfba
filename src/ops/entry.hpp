// Internal: what the generated entry points call.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "dot11a/call.hpp"

namespace dot11a::detail {

extern OpInfo kOperationTable[];
extern const std::size_t kOperationCount;

// An implementation for the table entry at `index`.
struct OpBinding {
  std::size_t index;
  OpFn fn;
};
// Binds implementations that live in a component above this one (the window
// operations of the GUI) into the table; called once, when that component's
// code is loaded, before the library is started.
void bindOperations(std::span<const OpBinding> bindings);

// mlf, mlfN and mlfV forms: the argument counts are fixed by the signature, so
// only the library state is checked before the operation runs.
std::vector<Value> runEntry(std::size_t index, int nargout, std::span<const Value> inputs);
// mlx form: the count checks, then the call; outputs go into plhs[0..nlhs).
void runMlx(std::size_t index, int nlhs, Value plhs[], int nrhs, const Value prhs[]);
// Outputs asked for through an output list: its element count, at least 1.
int outputListCount(const Value* outputs);

}  // namespace dot11a::detail

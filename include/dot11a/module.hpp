// Window modules: one entry point that takes the name of one of the module's
// local operations as its first (text) input and calls it with the remaining
// inputs. An error inside is printed on the console and the call returns
// normally, so a failing callback never takes the window down.
#pragma once

#include <string>

#include "dot11a/call.hpp"
#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// Runs the local operation named by input 1 of `c` under `table`'s scope and
// passes its outputs back. Returns false (printing why) when the name is not
// one of the module's operations or the operation raised an error.
bool dispatchModule(const LocalTable& table, Call& c);

// The message of the last error a module dispatcher caught (empty when none
// since the last clear). A caller that must know whether a call by name
// succeeded, although the dispatcher returned normally, clears it first.
const std::string& lastModuleError();
void clearModuleError();

// The handle stored under `tag` in a handles record; raises a clear error when
// the record has no such control.
double handleIn(const Value& handles, std::string_view tag);

}  // namespace dot11a

DOT11A_API_END

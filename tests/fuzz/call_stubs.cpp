// The fuzz targets link the readers without the operation table. Coverage
// instrumentation keeps every function of a source file, including the
// operation adapters beside a reader; these stand-ins satisfy their references
// and abort if an adapter were ever called.
#include <cstdlib>

#include "dot11a/call.hpp"

namespace dot11a {

const Value& Call::in(std::size_t, std::string_view) const {
  std::abort();
}
void Call::outputNames(std::initializer_list<std::string_view>) {
  std::abort();
}
Value& Call::out(std::size_t) {
  std::abort();
}

}  // namespace dot11a

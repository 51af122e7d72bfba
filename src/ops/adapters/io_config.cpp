// formatconfig: the connection configuration in its complete, checked form.
#include "dot11a/call.hpp"
#include "dot11a/instrument.hpp"

namespace dot11a {
namespace op {

void formatconfig(Call& c) {
  c.outputNames({"config_out"});
  c.out(0) = formatConfig(c.in(0, "config_in"));
}

}  // namespace op
}  // namespace dot11a

// The gateway wrapper operations: hwIO passes its inputs to the instrument I/O
// gateway as they are; the others call it with their code and the formatted
// connection configuration and return its status and response.
#include <string>
#include <vector>

#include "dot11a/call.hpp"
#include "dot11a/instrument.hpp"

namespace dot11a {
namespace op {

namespace {
std::vector<Value> twoOutputs(GatewayCode code, std::vector<Value> rest) {
  rest.insert(rest.begin(), Value::int32(static_cast<std::int32_t>(code)));
  return callGateway(2, rest);
}

void assignTwo(Call& c, std::vector<Value> out) {
  c.out(0) = out.size() > 0 ? std::move(out[0]) : Value();
  c.out(1) = out.size() > 1 ? std::move(out[1]) : Value();
}
}  // namespace

void hwIO(Call& c) {
  const auto inputs = c.inputs().first(c.nargin());
  std::vector<Value> out = callGateway(c.nargout(), inputs);
  for (std::size_t i = 0; i < out.size(); ++i) c.out(i) = std::move(out[i]);
}

void hwPing(Call& c) {
  c.outputNames({"status", "response"});
  assignTwo(c, twoOutputs(GatewayCode::Ping, {formatConfig(c.in(0, "config"))}));
}

void hwSend(Call& c) {
  c.outputNames({"status", "response"});
  assignTwo(c,
            twoOutputs(GatewayCode::Send, {formatConfig(c.in(0, "config")), c.in(1, "command")}));
}

void hwQuery(Call& c) {
  c.outputNames({"status", "response"});
  assignTwo(c, twoOutputs(GatewayCode::Query, {formatConfig(c.in(0, "config")), c.in(1, "query")}));
}

// The fourth and fifth inputs are accepted and not used: the gateway always
// receives "norm" and 1 (normalise the samples to full scale).
void hwDownload(Call& c) {
  c.outputNames({"status", "response"});
  assignTwo(c, twoOutputs(GatewayCode::Download,
                          {formatConfig(c.in(0, "config")), c.in(1, "data"), c.in(2, "markers"),
                           Value("norm"), Value(1.0), c.in(5, "filename")}));
}

void hwReturnLocal(Call& c) {
  c.outputNames({"status", "response"});
  assignTwo(c, twoOutputs(GatewayCode::ReturnLocal, {formatConfig(c.in(0, "config"))}));
}

void VerifyComm(Call& c) {
  c.outputNames({"status", "description"});
  assignTwo(c, twoOutputs(GatewayCode::Ping, {formatConfig(c.in(0, "config"))}));
}

}  // namespace op
}  // namespace dot11a

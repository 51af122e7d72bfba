// Returning the instrument to local control, and connection settings that
// cannot be converted to what the line needs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "common/library_fixture.hpp"
#include "dot11a/call.hpp"
#include "dot11a/instrument.hpp"
#include "sim_process.hpp"

namespace dot11a {
namespace {

class Connection : public test::LibraryTest {};

TEST_F(Connection, ReturnToLocalReleasesNothingOverTheLanAndSendsNothing) {
  test::SimProcess sim;
  Value config = initConfig();
  config.setField("type", "TCPIP");
  config.field("TCPIP").setField("address", sim.address());
  config.setField("timeout", 5.0);
  const std::vector<Value> out = feval("hwReturnLocal", 2, {config});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].toScalar(), 0);
  EXPECT_EQ(out[1].str(), "No remote lock on 127.0.0.1 port " + std::to_string(sim.port()) +
                              "; the front panel is available.");
  EXPECT_TRUE(sim.log().empty());

  // Nothing listening: the connection failure is the status, not an exception.
  int freePort = 0;
  {
    test::SimProcess gone;
    freePort = gone.port();
  }
  config.field("TCPIP").setField("address", "127.0.0.1:" + std::to_string(freePort));
  EXPECT_EQ(feval("hwReturnLocal", 2, {config})[0].toScalar(), gateway_status::kConnectFailed);
}

TEST_F(Connection, SettingsOutOfRangeAreRefusedByName) {
  // Straight to the gateway, past the checks the configuration dialog applies.
  auto ping = [](const Value& config) {
    const std::vector<Value> out = feval("hwIO", 2, {Value::int32(1), config});
    return std::make_pair(out.at(0).toScalar(), out.at(1).str());
  };
  Value serial = initConfig();
  serial.setField("type", "RS232");
  serial.field("RS232").setField("device", "/nonexistent/tty");
  for (double baud : {1e300, -1e300, 0.0, std::nan("")}) {
    serial.field("RS232").setField("baudrate", baud);
    const auto [status, text] = ping(serial);
    EXPECT_EQ(status, gateway_status::kBadConfiguration) << baud;
    EXPECT_NE(text.find("RS232.baudrate"), std::string::npos) << text;
    EXPECT_EQ(text.find("-9223372036854775808"), std::string::npos) << text;
  }
  Value gpib = initConfig();
  gpib.setField("type", "GPIB");
  for (const char* field : {"board", "primary", "secondary"}) {
    Value c = gpib;
    c.field("GPIB").setField(field, 1e300);
    const auto [status, text] = ping(c);
    EXPECT_EQ(status, gateway_status::kBadConfiguration) << field;
    EXPECT_NE(text.find("GPIB address is out of range"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace dot11a

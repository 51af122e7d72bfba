// The generator settings record, the number-to-text conversion and the
// connection configuration: everything of instrument control that needs no
// instrument.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <optional>
#include <string>

#include "common/library_fixture.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/num2str.hpp"
#include "dot11a/siggen_settings.hpp"

namespace dot11a {
namespace {

TEST(SigGenSettings, DefaultsFollowTheOversamplingRatio) {
  const Value r = toValue(defaultSigGenSettings(4));
  EXPECT_EQ(r.fieldNames(), (std::vector<std::string>{"Title", "Frequency", "Amplitude",
                                                      "SamplingRate", "ReconFilter", "RFblanking",
                                                      "ArbRefSource", "MarkerPolarity"}));
  EXPECT_EQ(r.field("Title").str(), "DOT11A");
  EXPECT_EQ(r.field("Frequency").toScalar(), 1e9);
  EXPECT_EQ(r.field("Amplitude").toScalar(), -30);
  EXPECT_EQ(r.field("SamplingRate").toScalar(), 80e6);
  EXPECT_EQ(r.field("ReconFilter").toScalar(), 4);
  EXPECT_EQ(r.field("RFblanking").toScalar(), 1);
  EXPECT_EQ(defaultSigGenSettings().samplingRate, 40e6);
}

TEST(SigGenSettings, RecordRoundTripAndPlatformFields) {
  SigGenSettings s;
  s.title = "WAVE1";
  s.frequency = 2.4e9;
  const SigGenSettings back = sigGenSettingsFromValue(toValue(s));
  EXPECT_EQ(back.title, "WAVE1");
  EXPECT_EQ(back.frequency, 2.4e9);
  // A record without the four C-platform fields reads with their defaults, and
  // adding them keeps values already present.
  EXPECT_EQ(back.bbFilter, 3);
  Value r = toValue(s);
  r.setField("ALC", 1.0);
  r = withPlatformCFields(r);
  EXPECT_EQ(r.field("ALC").toScalar(), 1);
  EXPECT_EQ(r.field("Scaling").toScalar(), 100);
  s.alc = 1;
  s.scaling = 70;
  const SigGenSettings c = sigGenSettingsFromValue(toValue(s, true));
  EXPECT_EQ(c.alc, 1);
  EXPECT_EQ(c.scaling, 70);
  Value missing = toValue(s);
  missing.removeField("Frequency");
  EXPECT_THROW(sigGenSettingsFromValue(missing), Error);
}

TEST(SigGenSettings, EntryRules) {
  EXPECT_EQ(frequencyFromEntry("2.4", 4), 2.4e9);
  EXPECT_EQ(frequencyFromEntry("2.4", 3), 2.4e6);
  EXPECT_EQ(frequencyFromEntry("2.4", 1), 100e3);
  EXPECT_EQ(frequencyFromEntry("5", 4), 4e9);
  EXPECT_EQ(frequencyFromEntry("", 2), 4e9);
  EXPECT_EQ(amplitudeFromEntry("-140"), -136);
  EXPECT_EQ(amplitudeFromEntry("12.5"), 13);
  EXPECT_EQ(amplitudeFromEntry("-12.5"), -13);
  EXPECT_EQ(amplitudeFromEntry("abc"), 20);
  EXPECT_EQ(samplingRateFromEntry("80", 3), 40e6);
  EXPECT_EQ(samplingRateFromEntry("0.5", 1), 1);
  EXPECT_EQ(samplingRateFromEntry("nan", 1), 40e6);

  const UnitDisplay d = displayInUnit(80e6);
  EXPECT_EQ(d.unitItem, 3);
  EXPECT_EQ(d.scaled, 80);
  EXPECT_EQ(displayInUnit(100e3).unitItem, 2);
  EXPECT_EQ(displayInUnit(999).unitItem, 1);
  EXPECT_EQ(arbRefCaption(1), "Ext. Ref");
  EXPECT_EQ(markerPolarityCaption(1), "- Mkrs");
}

TEST(SigGenSettings, TitleRules) {
  EXPECT_EQ(cleanTitle("wlan test-1"), "WLANTEST-1");
  EXPECT_EQ(cleanTitle("802.11a frame"), "80211AFRAME");
  EXPECT_EQ(cleanTitle("%%%"), "BLANK");
  EXPECT_EQ(cleanTitle("ABCDEFGHIJKLMNOPQRSTUVWXY"), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(cleanTitle("a\"b\nc[d]"), "ABC[D]");
}

TEST(Num2Str, WholeNumbersAndSignificantDigits) {
  EXPECT_EQ(num2str(25), "25");
  EXPECT_EQ(num2str(-30), "-30");
  EXPECT_EQ(num2str(1e9), "1000000000");
  EXPECT_EQ(num2str(40e6), "40000000");
  EXPECT_EQ(num2str(-0.0), "0");
  EXPECT_EQ(num2str(2.5), "2.5");
  EXPECT_EQ(num2str(-10.25), "-10.25");
  EXPECT_EQ(num2str(1.0 / 3), "0.33333");            // 5 digits below 1
  EXPECT_EQ(num2str(2400000000.5), "2400000000.5");  // integer digits plus four
  EXPECT_EQ(num2str(123.456789), "123.4568");
  EXPECT_EQ(num2str(1.5e-7), "1.5e-07");
  EXPECT_EQ(num2str(0.0 / 0.0), "NaN");
  EXPECT_EQ(num2str(-1.0 / 0.0), "-Inf");
  EXPECT_EQ(formatNumber("%6.2f|", -1.5), " -1.50|");
  EXPECT_EQ(formatNumber("%+d", 3.6), "+4");
  EXPECT_EQ(formatNumber("%-5g%%", 2.5), "2.5  %");
  EXPECT_EQ(formatNumber("%05.1f", -2.25), "-02.2");
  EXPECT_THROW(formatNumber("%s", 1), Error);
  EXPECT_THROW(formatNumber("%d %d", 1), Error);
  EXPECT_THROW(formatNumber("%ld", 1), Error);
}

// A comma locale must not leak a decimal comma into instrument commands.
TEST(Num2Str, IgnoresACommaLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8"};
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const char* active = nullptr;
  for (const char* n : names)
    if (std::setlocale(LC_ALL, n) != nullptr) {
      active = n;
      break;
    }
  if (active == nullptr)
    GTEST_SKIP() << "No locale with a decimal comma is installed (tried de_DE, fr_FR, nl_NL).";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  const std::string probeText = probe;
  const std::string a = num2str(-10.25), b = formatNumber("%.3f", 2.5), c = formatG(0.125, 6);
  const double parsed = parseDecimal("2.5").value_or(0);
  std::setlocale(LC_ALL, previous.c_str());
  ASSERT_EQ(probeText, "2,5") << "locale " << active << " does not use a decimal comma";
  EXPECT_EQ(a, "-10.25");
  EXPECT_EQ(b, "2.500");
  EXPECT_EQ(c, "0.125");
  EXPECT_EQ(parsed, 2.5);
}

class Num2StrOperation : public test::LibraryTest {};

TEST_F(Num2StrOperation, FormatsRowsAndHonoursTheSecondInput) {
  EXPECT_EQ(feval1("num2Str", {Value::row({1, 2.5, -3})}).str(), "1  2.5  -3");
  EXPECT_EQ(feval1("num2Str", {Value(3.14159265), Value(3.0)}).str(), "3.14");
  EXPECT_EQ(feval1("num2Str", {Value(2.5), Value("%.2f MHz")}).str(), "2.50 MHz");
  EXPECT_EQ(feval1("num2Str", {Value("text")}).str(), "text");
  EXPECT_EQ(feval1("num2Str", {Value(cplx(1, -2))}).str(), "1-2i");
}

TEST(ConnectionConfig, DefaultsAndOtherFieldsSurvive) {
  Value in = Value::record({{"BBGtype", Value("M08")}, {"type", Value("TCPIP")}});
  const Value c = initConfig(in);
  EXPECT_EQ(c.field("BBGtype").str(), "M08");
  EXPECT_EQ(c.field("type").str(), "GPIB");
  EXPECT_EQ(c.field("GPIB").field("primary").toScalar(), 19);
  EXPECT_EQ(c.field("GPIB").field("secondary").toScalar(), -1);
  EXPECT_EQ(c.field("RS232").field("handshake").str(), "Xon/Xoff");
  EXPECT_EQ(c.field("TCPIP").field("address").str(), "0.0.0.0");
  const Value d = defaultConfiguration();
  EXPECT_EQ(d.field("BBGtype").str(), "M32");
  EXPECT_TRUE(d.field("LastParameterFilename").isEmpty());
}

TEST(ConnectionConfig, OldFlatLayoutIsRestructured) {
  const Value old = Value::record({{"Connection", Value(1.0)},
                                   {"GPIBboard", Value(2.0)},
                                   {"Primary", Value(7.0)},
                                   {"Secondary", Value(-1.0)},
                                   {"RS232Port", Value(3.0)},
                                   {"BaudRate", Value(19200.0)},
                                   {"HandShake", Value(0.0)},
                                   {"BBGtype", Value("M32")}});
  const std::vector<std::string> entries = {"None", "Xon/Xoff", "RTS/CTS"};
  const Value c = reStructureConfig(old, entries);
  EXPECT_EQ(c.field("type").str(), "RS232");
  EXPECT_EQ(c.field("RS232").field("handshake").str(), "None");
  EXPECT_EQ(c.field("RS232").field("baudrate").toScalar(), 19200);
  EXPECT_EQ(c.field("GPIB").field("primary").toScalar(), 7);
  EXPECT_EQ(c.field("TCPIP").field("address").str(), "0.0.0.0");
  EXPECT_EQ(c.field("BBGtype").str(), "M32");
  for (const char* f :
       {"Connection", "GPIBboard", "Primary", "Secondary", "RS232Port", "HandShake", "BaudRate"})
    EXPECT_FALSE(c.hasField(f)) << f;
  Value gpib = old;
  gpib.setField("Connection", 7.0);
  EXPECT_EQ(reStructureConfig(gpib).field("type").str(), "GPIB");
  EXPECT_EQ(reStructureConfig(gpib).field("RS232").field("handshake").str(), "Xon/Xoff");
  const Value current = initConfig();
  EXPECT_EQ(reStructureConfig(current), current);
}

TEST(ConnectionConfig, LimitsOfTheDialog) {
  Value c = initConfig();
  c.field("GPIB").setField("primary", 45.0);
  c.field("GPIB").setField("secondary", -5.0);
  c.field("GPIB").setField("board", 20.0);
  c.field("RS232").setField("port", 0.0);
  c.field("TCPIP").setField("board", 3.0);
  const Value l = limitConfig(c);
  EXPECT_EQ(l.field("GPIB").field("primary").toScalar(), 30);
  EXPECT_EQ(l.field("GPIB").field("secondary").toScalar(), -1);
  EXPECT_EQ(l.field("GPIB").field("board").toScalar(), 15);
  EXPECT_EQ(l.field("RS232").field("port").toScalar(), 1);
  EXPECT_EQ(l.field("RS232").field("baudrate").toScalar(), 9600);
  EXPECT_EQ(l.field("TCPIP").field("board").toScalar(), 0);
}

class FormatConfig : public test::LibraryTest {};

TEST_F(FormatConfig, AddressFieldsBecomeInt32AndNothingElseChanges) {
  const Value onlyGpib = Value::record(
      {{"GPIB", Value::record(
                    {{"board", Value(0.0)}, {"primary", Value(19.0)}, {"secondary", Value(-1.5)}})},
       {"note", Value("x")}});
  const Value out = feval1("formatconfig", {onlyGpib});
  ASSERT_TRUE(out.field("GPIB").field("primary").isInt32());
  EXPECT_EQ(out.field("GPIB").field("primary").i32()[0], 19);
  EXPECT_EQ(out.field("GPIB").field("secondary").i32()[0], -2);  // halves away from zero
  EXPECT_EQ(out.fieldNames(), onlyGpib.fieldNames());
  EXPECT_EQ(out.field("note").str(), "x");
  EXPECT_EQ(feval1("formatconfig", {out}), out);  // idempotent

  Value big = initConfig();
  big.field("RS232").setField("baudrate", 1e12);
  const Value f = formatConfig(big);
  EXPECT_EQ(f.field("RS232").field("baudrate").i32()[0], 2147483647);
  EXPECT_TRUE(f.field("RS232").field("handshake").isText());
  EXPECT_TRUE(f.field("TCPIP").field("board").isInt32());
  const Value plain = Value::record({{"type", Value("GPIB")}});
  EXPECT_EQ(formatConfig(plain), plain);
}

TEST(ConnectionConfig, AddressTexts) {
  const Value t = configFromAddress("tcpip:[::1]:5025");
  EXPECT_EQ(t.field("type").str(), "TCPIP");
  EXPECT_EQ(t.field("TCPIP").field("address").str(), "[::1]:5025");
  const Value s = configFromAddress("serial:3:115200");
  EXPECT_EQ(s.field("RS232").field("port").toScalar(), 3);
  EXPECT_EQ(s.field("RS232").field("baudrate").toScalar(), 115200);
  EXPECT_EQ(configFromAddress("serial:/dev/ttyUSB0").field("RS232").field("device").str(),
            "/dev/ttyUSB0");
  const Value g = configFromAddress("GPIB:0:19:2");
  EXPECT_EQ(g.field("GPIB").field("secondary").toScalar(), 2);
  EXPECT_EQ(configFromAddress("gpib:1:5").field("GPIB").field("secondary").toScalar(), -1);
  for (const char* bad : {"tcpip:", "usb:1", "serial:x", "gpib:1", "gpib:0:31", "serial:2:fast"})
    EXPECT_THROW(configFromAddress(bad), Error) << bad;
}

// The address check the connection dialog and the command-line tools share:
// what a user types for a LAN instrument is refused before any look-up.
TEST(ConnectionConfig, TcpipAddressesAreCheckedBeforeAnyConnection) {
  for (const char* good : {"127.0.0.1", "192.168.1.20:5025", "tgx-lab", "lab_2.example.com:1",
                           " 10.0.0.1:65535 ", "::1", "[::1]", "[fe80::1]:5025"})
    EXPECT_EQ(tcpipAddressProblem(good), std::nullopt) << good;
  for (const char* bad : {"", "  ", "tgx lab", "256.1.1.1", "1.2.3", "host:0", "host:65536",
                          "host:", "host:50x", "-host", "a..b", "[::1", "[::1]5025", "[zz]:1"})
    EXPECT_NE(tcpipAddressProblem(bad), std::nullopt) << bad;
  const auto why = tcpipAddressProblem("tgx lab");
  ASSERT_TRUE(why.has_value());
  EXPECT_NE(why->find("\"tgx lab\" is not a host name or IP address"), std::string::npos) << *why;
  try {
    configFromAddress("tcpip:tgx lab:5025");
    ADD_FAILURE() << "a host name with a space was accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("tgx lab:5025"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace dot11a

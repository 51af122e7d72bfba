// The connection configuration record: defaults, the older flat layout, the
// limits a dialog applies, the integer form the gateway receives, and short
// address texts.
#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/instrument.hpp"

namespace dot11a {

namespace {

double numberOr(const Value& record, std::string_view name, double fallback) {
  if (!record.isRecord() || !record.hasField(name)) return fallback;
  const Value& v = record.field(name);
  if (!v.isNumeric() || v.isEmpty()) return fallback;
  return v.toScalar();
}

std::int32_t toInt32(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::round(x);  // halves away from zero
  if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return checkedInteger<std::int32_t>(r, "An address field");
}

// Converts the named fields of sub-record `sub` (when present) to int32 scalars.
void integerFields(Value& config, std::string_view sub,
                   std::initializer_list<std::string_view> names) {
  if (!config.hasField(sub)) return;
  Value& rec = config.field(sub);
  if (!rec.isRecord()) return;
  for (std::string_view name : names) {
    if (!rec.hasField(name)) continue;
    Value& v = rec.field(name);
    if (v.isInt32() && v.isScalar()) continue;
    if (!v.isNumeric()) continue;  // nothing sensible to convert; the gateway reports it
    if (v.isEmpty()) continue;
    std::vector<std::int32_t> ints;
    ints.reserve(v.numel());
    for (double x : v.toDoubles()) ints.push_back(toInt32(x));
    v = Value::int32Matrix(v.rows(), v.cols(), std::move(ints));
  }
}

void clampField(Value& config, std::string_view sub, std::string_view name, double lo, double hi) {
  Value& rec = config.field(sub);
  const double v = numberOr(rec, name, lo);
  rec.setField(name, std::clamp(v, lo, hi));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

bool parseWhole(std::string_view text, double& out) {
  auto v = parseDecimal(text);
  if (!v || *v != std::trunc(*v)) return false;
  out = *v;
  return true;
}

bool validPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const long p = std::stol(std::string(port));
  return p >= 1 && p <= 65535;
}

bool ipv4(const std::string& host) {
  in_addr a{};
  return ::inet_pton(AF_INET, host.c_str(), &a) == 1;
}

bool ipv6(const std::string& host) {
  in6_addr a{};
  return ::inet_pton(AF_INET6, host.c_str(), &a) == 1;
}

// A host name of labels of letters, digits, '-' and '_' separated by dots; a
// name made only of digits and dots must be an IPv4 address.
bool validHost(const std::string& host) {
  if (host.empty() || host.size() > 253) return false;
  if (host.find_first_not_of("0123456789.") == std::string::npos) return ipv4(host);
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = host.find('.', start);
    const std::string label = host.substr(start, dot == std::string::npos ? dot : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
      return false;
    for (char c : label)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

[[noreturn]] void badAddress(std::string_view address) {
  raise("Cannot use the instrument address \"" + std::string(address) +
        "\". Use tcpip:HOST[:PORT], serial:PORT[:BAUD] or gpib:BOARD:PRIMARY[:SECONDARY].");
}

}  // namespace

Value initConfig(const Value& configIn) {
  Value config = (configIn.isRecord()) ? configIn : Value::record();
  config.setField("type", "GPIB");
  Value& gpib = config.field("GPIB");
  if (!gpib.isRecord()) gpib = Value::record();
  gpib.setField("board", 0.0);
  gpib.setField("primary", 19.0);
  gpib.setField("secondary", -1.0);
  Value& rs = config.field("RS232");
  if (!rs.isRecord()) rs = Value::record();
  rs.setField("port", 1.0);
  rs.setField("baudrate", 9600.0);
  rs.setField("handshake", "Xon/Xoff");
  Value& tcp = config.field("TCPIP");
  if (!tcp.isRecord()) tcp = Value::record();
  tcp.setField("address", "0.0.0.0");
  tcp.setField("board", 0.0);
  return config;
}

Value defaultConfiguration() {
  Value config = initConfig();
  config.setField("BBGtype", "M32");
  config.setField("LastParameterFilename", Value::text(""));
  return config;
}

Value reStructureConfig(const Value& oldConfig, std::span<const std::string> handshakeEntries) {
  if (!oldConfig.isRecord() || !oldConfig.hasField("Connection")) return oldConfig;
  Value config = oldConfig;
  auto old = [&](std::string_view name) -> Value {
    return oldConfig.hasField(name) ? oldConfig.field(name) : Value::empty();
  };
  const Value& connection = oldConfig.field("Connection");
  const bool rs232 = connection.isNumeric() && connection.isScalar() && connection.toScalar() == 1;
  config.setField("type", rs232 ? "RS232" : "GPIB");
  Value& gpib = config.field("GPIB");
  if (!gpib.isRecord()) gpib = Value::record();
  gpib.setField("board", old("GPIBboard"));
  gpib.setField("primary", old("Primary"));
  gpib.setField("secondary", old("Secondary"));
  Value& rs = config.field("RS232");
  if (!rs.isRecord()) rs = Value::record();
  rs.setField("port", old("RS232Port"));
  rs.setField("baudrate", old("BaudRate"));
  std::string handshake = "Xon/Xoff";
  if (!handshakeEntries.empty()) {
    // The stored position counts from 0; a position outside the list takes the
    // first entry rather than failing on a damaged file.
    const double pos = numberOr(oldConfig, "HandShake", 0);
    const auto index =
        integerOf<std::size_t>(
            std::trunc(std::clamp(pos, 0.0, static_cast<double>(handshakeEntries.size() - 1))))
            .value_or(0);  // not a number at all
    handshake = handshakeEntries[index];
  }
  rs.setField("handshake", handshake);
  Value& tcp = config.field("TCPIP");
  if (!tcp.isRecord()) tcp = Value::record();
  tcp.setField("address", "0.0.0.0");
  tcp.setField("board", 0.0);
  for (const char* name :
       {"Connection", "GPIBboard", "Primary", "Secondary", "RS232Port", "HandShake", "BaudRate"})
    config.removeField(name);
  return config;
}

Value limitConfig(Value config) {
  if (!config.isRecord()) config = initConfig();
  clampField(config, "GPIB", "board", 0, 15);
  clampField(config, "GPIB", "primary", 0, 30);
  clampField(config, "GPIB", "secondary", -1, 31);
  clampField(config, "RS232", "port", 1, 9);
  clampField(config, "RS232", "baudrate", kBaudRates.front(), kBaudRates.back());
  config.field("TCPIP").setField("board", 0.0);
  return config;
}

Value formatConfig(const Value& configIn) {
  Value config = configIn;
  if (!config.isRecord()) return config;
  integerFields(config, "GPIB", {"board", "primary", "secondary"});
  integerFields(config, "RS232", {"port", "baudrate"});
  integerFields(config, "TCPIP", {"board"});
  return config;
}

std::optional<std::string> tcpipAddressProblem(std::string_view raw) {
  const auto first = raw.find_first_not_of(" \t\r\n");
  const auto last = raw.find_last_not_of(" \t\r\n");
  const std::string address = first == std::string_view::npos
                                  ? std::string()
                                  : std::string(raw.substr(first, last - first + 1));
  if (address.empty())
    return std::string(
        "Enter the signal generator's TCP/IP address: a host name or IP address, "
        "optionally followed by :port.");
  bool ok = false;
  if (address.front() == '[') {
    const auto close = address.find(']');
    if (close != std::string::npos) {
      const std::string rest = address.substr(close + 1);
      ok = ipv6(address.substr(1, close - 1)) &&
           (rest.empty() || (rest.front() == ':' && validPort(std::string_view(rest).substr(1))));
    }
  } else {
    const auto colons = std::count(address.begin(), address.end(), ':');
    if (colons == 0) {
      ok = validHost(address);
    } else if (colons == 1) {
      const auto colon = address.find(':');
      ok = validHost(address.substr(0, colon)) &&
           validPort(std::string_view(address).substr(colon + 1));
    } else {
      ok = ipv6(address);  // a bare IPv6 address has no port
    }
  }
  if (ok) return std::nullopt;
  return "The TCP/IP address \"" + address +
         "\" is not a host name or IP address optionally followed by :port (for example "
         "192.168.1.20 or tgx-lab:5025).";
}

Value configFromAddress(std::string_view address) {
  Value config = initConfig();
  if (startsWithNoCase(address, "tcpip:")) {
    std::string_view host = address.substr(6);
    if (host.empty()) badAddress(address);
    if (auto problem = tcpipAddressProblem(host)) raise(*problem);
    config.setField("type", "TCPIP");
    config.field("TCPIP").setField("address", std::string(host));
    return config;
  }
  if (startsWithNoCase(address, "serial:")) {
    std::string_view rest = address.substr(7);
    std::string_view port = rest, baud;
    if (!rest.empty() && rest.front() != '/') {
      const auto colon = rest.find(':');
      if (colon != std::string_view::npos) {
        port = rest.substr(0, colon);
        baud = rest.substr(colon + 1);
      }
    } else {
      // A device path may itself hold no colon; a baud rate follows the last one.
      const auto colon = rest.rfind(':');
      if (colon != std::string_view::npos) {
        port = rest.substr(0, colon);
        baud = rest.substr(colon + 1);
      }
    }
    config.setField("type", "RS232");
    Value& rs = config.field("RS232");
    double number = 0;
    if (!port.empty() && port.front() == '/') {
      rs.setField("device", std::string(port));
    } else if (parseWhole(port, number) && number >= 1 && number <= 9) {
      rs.setField("port", number);
    } else {
      badAddress(address);
    }
    if (!baud.empty()) {
      if (!parseWhole(baud, number) || number <= 0) badAddress(address);
      rs.setField("baudrate", number);
    }
    return config;
  }
  if (startsWithNoCase(address, "gpib:")) {
    std::string_view rest = address.substr(5);
    std::vector<double> parts;
    while (true) {
      const auto colon = rest.find(':');
      double number = 0;
      if (!parseWhole(rest.substr(0, colon), number)) badAddress(address);
      parts.push_back(number);
      if (colon == std::string_view::npos) break;
      rest = rest.substr(colon + 1);
    }
    if (parts.size() < 2 || parts.size() > 3) badAddress(address);
    if (parts[0] < 0 || parts[0] > 15 || parts[1] < 0 || parts[1] > 30 ||
        (parts.size() == 3 && (parts[2] < -1 || parts[2] > 31)))
      raise("The GPIB address \"" + std::string(address) +
            "\" is out of range: board 0-15, primary 0-30, secondary 0-31.");
    config.setField("type", "GPIB");
    Value& gpib = config.field("GPIB");
    gpib.setField("board", parts[0]);
    gpib.setField("primary", parts[1]);
    gpib.setField("secondary", parts.size() == 3 ? parts[2] : -1.0);
    return config;
  }
  badAddress(address);
}

// ---- ranges the instruments reported -------------------------------------------

namespace {

constexpr std::string_view kRangesField = "InstrumentRanges";
constexpr const char* kBoundNames[6] = {"FrequencyMin", "FrequencyMax",    "AmplitudeMin",
                                        "AmplitudeMax", "SamplingRateMin", "SamplingRateMax"};

std::string textField(const Value& record, std::string_view name) {
  if (!record.isRecord() || !record.hasField(name) || !record.field(name).isText()) return {};
  return record.field(name).str();
}

// The stored entries: a list of records, or one record (a one-element list
// may come back from the file as its element).
std::vector<Value> rangeEntries(const Value& config) {
  std::vector<Value> list;
  if (!config.isRecord() || !config.hasField(kRangesField)) return list;
  const Value& stored = config.field(kRangesField);
  if (stored.isRecord() && stored.isScalar()) list.push_back(stored);
  if (stored.isCell())
    for (std::size_t i = 0; i < stored.numel(); ++i)
      if (stored.cellAt(i).isRecord()) list.push_back(stored.cellAt(i));
  return list;
}

bool sameEntry(const Value& entry, const std::string& key, std::string_view family) {
  return textField(entry, "Instrument") == key && textField(entry, "Family") == family;
}

}  // namespace

std::string instrumentKey(const Value& config) {
  static const Value kNone;
  const auto sub = [&](std::string_view name) -> const Value& {
    return config.isRecord() && config.hasField(name) ? config.field(name) : kNone;
  };
  const auto number = [&](std::string_view name, std::string_view field) {
    return std::to_string(toInt32(numberOr(sub(name), field, 0)));
  };
  std::string type = textField(config, "type");
  for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (type == "TCPIP") return "TCPIP " + textField(sub("TCPIP"), "address");
  if (type == "RS232") {
    const std::string device = textField(sub("RS232"), "device");
    return device.empty() ? "RS232 port " + number("RS232", "port") : "RS232 " + device;
  }
  const std::string key = "GPIB " + number("GPIB", "board") + ":" + number("GPIB", "primary");
  const std::string secondary = number("GPIB", "secondary");
  return secondary == "-1" ? key : key + ":" + secondary;
}

Value withInstrumentLimits(Value config, std::string_view instrument, std::string_view family,
                           const SigGenLimits& limits) {
  if (!config.isRecord()) config = Value::record();
  const std::string key(instrument);
  std::vector<Value> list;
  for (Value& entry : rangeEntries(config))
    if (!sameEntry(entry, key, family)) list.push_back(std::move(entry));
  const double bounds[6] = {limits.frequencyMin, limits.frequencyMax,    limits.amplitudeMin,
                            limits.amplitudeMax, limits.samplingRateMin, limits.samplingRateMax};
  Value entry = Value::record({{"Instrument", Value(key)}, {"Family", Value(family)}});
  for (int i = 0; i < 6; ++i) entry.setField(kBoundNames[i], bounds[i]);
  list.push_back(std::move(entry));
  config.setField(kRangesField, Value::cellRow(std::move(list)));
  return config;
}

std::optional<SigGenLimits> storedInstrumentLimits(const Value& config, std::string_view family) {
  const std::string key = instrumentKey(config);
  for (const Value& entry : rangeEntries(config)) {
    if (!sameEntry(entry, key, family)) continue;
    double b[6];
    for (int i = 0; i < 6; ++i) {
      const double nan = std::numeric_limits<double>::quiet_NaN();
      b[i] = numberOr(entry, kBoundNames[i], nan);
    }
    const SigGenLimits l{b[0], b[1], b[2], b[3], b[4], b[5]};
    if (sigGenLimitsProblem(l).empty()) return l;
  }
  return std::nullopt;
}

std::string_view familyOf(Platform platform) {
  return platform == Platform::C ? "c" : "b";
}

SigGenLimits limitsInForce(const Value& config, Platform platform) {
  return storedInstrumentLimits(config, familyOf(platform)).value_or(SigGenLimits{});
}

}  // namespace dot11a

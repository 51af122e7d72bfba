// The I/O gateway plugin: ping, send, query, waveform download and return to
// local over TCP/IP, RS-232 or GPIB, one connection per call.
//
// Inputs: the operation code (int32), the connection configuration, then the
// operation's own inputs. Outputs: status (0 = success) and response.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "answers.hpp"
#include "dot11a/checked_integer.hpp"
#include "dot11a/error.hpp"
#include "dot11a/instrument.hpp"
#include "dot11a/value.hpp"
#include "io/gateway_abi.hpp"
#include "links.hpp"

namespace {

// Who hears of a download's progress (set by dot11a_hwio_set_progress; the
// library serialises the calls, so one download at a time uses it).
dot11a::HwioProgressFn gProgress = nullptr;
void* gProgressContext = nullptr;

using dot11a::Value;
using hwio::Failure;
using hwio::Link;

constexpr int kFullScale = 32767;
// Errors read from the queue after one command. An instrument whose queue
// keeps answering with errors is not read for longer than this many answers or
// one time-out, whichever ends first.
constexpr int kMaxErrors = 10;

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

const Value* sub(const Value& rec, std::string_view name) {
  if (!rec.isRecord() || !rec.hasField(name)) return nullptr;
  return &rec.field(name);
}

double number(const Value& rec, std::string_view section, std::string_view name, double fallback) {
  const Value* s = sub(rec, section);
  const Value* v = s ? sub(*s, name) : nullptr;
  if (v == nullptr) return fallback;
  if (!v->isNumeric() || v->isEmpty())
    throw Failure(1, "The connection setting " + std::string(section) + "." + std::string(name) +
                         " must be a number.");
  return v->toScalar();
}

// A setting taken as a whole number (fractions truncated) within [lo, hi],
// checked before the conversion so that a huge value is reported instead of
// wrapping around.
long wholeSetting(const Value& rec, std::string_view section, std::string_view name,
                  double fallback, long lo, long hi) {
  const double x = std::trunc(number(rec, section, name, fallback));
  if (const auto n = dot11a::integerOf<long>(x, lo, hi)) return *n;
  std::ostringstream text;
  text << "The connection setting " << section << "." << name << " is out of range: " << x << ".";
  throw Failure(1, text.str());
}

std::string text(const Value& rec, std::string_view section, std::string_view name) {
  const Value* s = sub(rec, section);
  const Value* v = s ? sub(*s, name) : nullptr;
  return (v != nullptr && v->isText()) ? v->str() : std::string();
}

std::unique_ptr<Link> connect(const Value& config) {
  if (!config.isRecord())
    throw Failure(1,
                  "The connection configuration must be a record, not " + config.describe() + ".");
  const Value* type = sub(config, "type");
  if (type == nullptr || !type->isText())
    throw Failure(1, "The connection configuration has no interface type (GPIB, RS232 or TCPIP).");
  const double timeout = dot11a::ioTimeoutOf(config);
  const std::string kind = lower(type->str());
  if (kind == "tcpip" || kind == "tcp/ip") {
    const std::string address = text(config, "TCPIP", "address");
    return hwio::openTcp({address, timeout});
  }
  if (kind == "rs232" || kind == "rs-232") {
    hwio::SerialSettings s;
    s.device = text(config, "RS232", "device");
    if (s.device.empty()) {
      const auto port = dot11a::integerOf<int>(number(config, "RS232", "port", 1), 1, 99);
      if (!port) throw Failure(1, "The serial port number must be a whole number from 1 to 99.");
      s.device = "/dev/ttyS" + std::to_string(*port - 1);  // port 1 is ttyS0
    }
    // Any whole rate passes here; the line itself names the rates it supports.
    s.baudrate = wholeSetting(config, "RS232", "baudrate", 9600, 1, 1000000000);
    s.handshake = text(config, "RS232", "handshake");
    s.timeoutSeconds = timeout;
    return hwio::openSerial(s);
  }
  if (kind == "gpib") {
    hwio::GpibSettings s;
    // Fractions truncated; checked before the conversion, which is undefined out of range.
    const auto board =
        dot11a::integerOf<int>(std::trunc(number(config, "GPIB", "board", 0)), 0, 15);
    const auto primary =
        dot11a::integerOf<int>(std::trunc(number(config, "GPIB", "primary", 19)), 0, 30);
    const auto secondary =
        dot11a::integerOf<int>(std::trunc(number(config, "GPIB", "secondary", -1)), -1, 31);
    if (!board || !primary || !secondary)
      throw Failure(
          1, "The GPIB address is out of range: board 0-15, primary 0-30, secondary 0-31 or none.");
    s.board = *board;
    s.primary = *primary;
    s.secondary = *secondary;
    s.timeoutSeconds = timeout;
    return hwio::openGpib(s);
  }
  throw Failure(1, "Unknown interface type \"" + type->str() + "\": use GPIB, RS232 or TCPIP.");
}

// A command travels as one line: a line break or NUL inside it would split it
// into commands nobody asked for.
std::string commandText(const std::vector<Value>& in, std::size_t i, const char* what) {
  if (i >= in.size() || !in[i].isText() || in[i].str().empty())
    throw Failure(5, std::string("The ") + what + " to send is missing or not a text.");
  const std::string& s = in[i].str();
  if (s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    throw Failure(5, std::string("The ") + what +
                         " contains a line break, which would split it: \"" + s + "\".");
  return s;
}

// Reads the error queue until it reports no error; returns the errors found.
// Stops after kMaxErrors errors or once the reading has lasted `timeout`
// seconds (the answer being read then still gets its own time-out), noting
// that the queue was not emptied.
std::vector<std::string> drainErrors(Link& link, double timeout) {
  std::vector<std::string> errors;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (static_cast<int>(errors.size()) >= kMaxErrors ||
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >=
            timeout) {
      errors.push_back("(error queue not read to its end)");
      return errors;
    }
    link.write(":SYST:ERR?\n");
    const std::string answer = link.readLine("\":SYST:ERR?\"");
    const auto parsed = hwio::parseErrorAnswer(answer);
    if (!parsed)
      throw Failure(3, "The instrument at " + link.where() +
                           " gave an unreadable error-queue answer: \"" + answer + "\".");
    if (parsed->code == 0) return errors;
    errors.push_back(answer);
  }
}

std::string joinErrors(const std::vector<std::string>& errors) {
  std::string out;
  for (const std::string& e : errors) out += (out.empty() ? "" : "; ") + e;
  return out;
}

// "#<digits><length><bytes>".
std::string block(const std::string& bytes) {
  const std::string len = std::to_string(bytes.size());
  std::string out;
  out.reserve(2 + len.size() + bytes.size());
  out.push_back('#');
  out.push_back(static_cast<char>('0' + len.size()));  // at most 9 digits: lengths stay below 1e9
  out.append(len);
  out.append(bytes);
  return out;
}

// A storage name goes inside a quoted SCPI string and may become a file name
// in the instrument: no quotes, separators or control characters.
std::string storageName(const std::vector<Value>& in, std::size_t i) {
  if (i >= in.size() || !in[i].isText() || in[i].str().empty())
    throw Failure(5, "The waveform needs a name to be stored under.");
  const std::string& s = in[i].str();
  if (s.size() > 64)
    throw Failure(5, "The waveform name \"" + s + "\" is longer than 64 characters.");
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7e || c == '"' || c == '\'' || c == '\\' || c == '/' || c == ':' ||
        c == ',')
      throw Failure(5, "The waveform name \"" + s +
                           "\" contains a character the instrument cannot store (" +
                           "use letters, digits and _ $ & # + - [ ]).");
  }
  return s;
}

// Interleaved I/Q as big-endian 16-bit two's complement. "norm" scales the
// largest component to `level` of full scale; "raw" takes 1.0 as full scale
// and clips.
std::string packSamples(const Value& data, const std::string& mode, double level) {
  if (!data.isNumeric() || data.isEmpty() || !data.isVector())
    throw Failure(
        5, "The waveform must be a non-empty row of complex samples, not " + data.describe() + ".");
  const std::vector<dot11a::cplx> z = data.toComplex();
  double peak = 0;
  for (const auto& v : z) {
    if (!std::isfinite(v.real()) || !std::isfinite(v.imag()))
      throw Failure(5, "The waveform holds a sample that is not a finite number.");
    peak = std::max({peak, std::fabs(v.real()), std::fabs(v.imag())});
  }
  double scale = kFullScale;
  const std::string m = lower(mode);
  if (m == "norm") {
    if (!(level > 0 && level <= 1)) throw Failure(5, "The normalisation level must lie in (0, 1].");
    scale = peak > 0 ? kFullScale * level / peak : 0;
  } else if (m != "raw") {
    throw Failure(5, "Unknown scaling mode \"" + mode + "\": use \"norm\" or \"raw\".");
  }
  std::string out(z.size() * 4, '\0');
  auto put = [&](std::size_t at, double x) {
    // Clipped as a double: a raw sample far beyond full scale has no long value.
    const auto q = dot11a::checkedInteger<std::int16_t>(
        std::clamp(std::round(x * scale), -32768.0, 32767.0), "A sample");
    const auto u = static_cast<std::uint16_t>(q);
    out[at] = static_cast<char>(u >> 8);
    out[at + 1] = static_cast<char>(u & 0xff);
  };
  for (std::size_t i = 0; i < z.size(); ++i) {
    put(4 * i, z[i].real());
    put(4 * i + 2, z[i].imag());
  }
  return out;
}

// One byte per sample: bit 0 from marker row 1, bit 1 from row 2. No markers
// at all gives zeros.
std::string packMarkers(const Value& markers, std::size_t samples) {
  std::string out(samples, '\0');
  if (markers.isAbsent() || markers.isEmpty()) return out;
  if (!markers.isNumeric() || markers.rows() > 2 || markers.cols() != samples)
    throw Failure(5, "The markers must be 1 or 2 rows of " + std::to_string(samples) +
                         " values (one per sample), not " + markers.describe() + ".");
  const std::size_t rows = markers.rows();
  for (std::size_t col = 0; col < samples; ++col)
    for (std::size_t r = 0; r < rows; ++r)
      if (markers.real(col * rows + r) != 0) out[col] = static_cast<char>(out[col] | (1 << r));
  return out;
}

// Runs `body` on a fresh connection; a failure closes it abortively so that
// nothing half-sent stays queued behind it.
template <class Body>
Value withLink(const Value& config, Body body) {
  std::unique_ptr<Link> link = connect(config);
  try {
    return body(*link);
  } catch (...) {
    link->abandon();
    throw;
  }
}

Value run(int code, const std::vector<Value>& in, std::string& response) {
  const Value config = in.size() > 1 ? in[1] : Value();
  switch (code) {
    case 1: {  // ping
      return withLink(config, [&](Link& link) {
        link.write("*IDN?\n");
        response = link.readLine("\"*IDN?\"");
        return Value(0.0);
      });
    }
    case 2: {  // send
      const std::string command = commandText(in, 2, "command");
      return withLink(config, [&](Link& link) {
        link.write(command + "\n");
        const auto errors = drainErrors(link, dot11a::ioTimeoutOf(config));
        if (!errors.empty()) {
          response =
              "The instrument reported an error for \"" + command + "\": " + joinErrors(errors);
          return Value(4.0);
        }
        response = "+0,\"No error\"";
        return Value(0.0);
      });
    }
    case 3: {  // query
      const std::string query = commandText(in, 2, "query");
      return withLink(config, [&](Link& link) {
        link.write(query + "\n");
        response = link.readLine("\"" + query + "\"");
        return Value(0.0);
      });
    }
    case 4: {  // download: config, data, markers, mode, level, name
      const Value data = in.size() > 2 ? in[2] : Value();
      const Value markers = in.size() > 3 ? in[3] : Value();
      const std::string mode = in.size() > 4 && in[4].isText() ? in[4].str() : "norm";
      const double level =
          in.size() > 5 && in[5].isNumeric() && !in[5].isEmpty() ? in[5].toScalar() : 1.0;
      const std::string name = storageName(in, 6);
      const std::string iq = packSamples(data, mode, level);
      const std::string mk = packMarkers(markers, iq.size() / 4);
      if (iq.size() > 999999999)
        throw Failure(5, "The waveform is too long for one transfer (" +
                             std::to_string(iq.size() / 4) + " samples).");
      return withLink(config, [&](Link& link) {
        const std::string samples = ":MEM:DATA \"arbi:" + name + "\"," + block(iq) + "\n";
        const std::string marks = ":MEM:DATA \"mkr:" + name + "\"," + block(mk) + "\n";
        const auto total = static_cast<unsigned long long>(samples.size() + marks.size());
        // Both commands count towards one total.
        const auto after = [&](std::size_t before) {
          return hwio::Progress([before, total](std::size_t sent) {
            if (gProgress) gProgress(gProgressContext, before + sent, total);
          });
        };
        link.write(samples, after(0));
        link.write(marks, after(samples.size()));
        const auto errors = drainErrors(link, dot11a::ioTimeoutOf(config));
        if (!errors.empty()) {
          response = "The instrument reported an error while storing \"" + name +
                     "\": " + joinErrors(errors);
          return Value(4.0);
        }
        response =
            "Waveform \"" + name + "\" stored (" + std::to_string(iq.size() / 4) + " samples).";
        return Value(0.0);
      });
    }
    case 5: {  // return to local
      return withLink(config, [&](Link& link) {
        response = link.goToLocal();
        return Value(0.0);
      });
    }
    default:
      dot11a::raise("hwIO: unknown operation code " + std::to_string(code) +
                    " (1 ping, 2 send, 3 query, 4 download, 5 return to local).");
  }
}

int operationCode(const std::vector<Value>& in) {
  if (in.empty() || !in[0].isNumeric() || !in[0].isScalar())
    dot11a::raise("hwIO: the first input must be the operation code, a whole number.");
  const auto code = dot11a::integerOf<int>(in[0].toScalar());
  if (!code) dot11a::raise("hwIO: the operation code must be a whole number.");
  return *code;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void dot11a_hwio_set_progress(dot11a::HwioProgressFn fn,
                                                                     void* context) {
  gProgress = fn;
  gProgressContext = context;
}

__attribute__((visibility("default"))) int dot11a_hwio_version(void) {
  return dot11a::kHwioAbiVersion;
}

__attribute__((visibility("default"))) int dot11a_hwio_call(int nargout, Value* outputs, int nargin,
                                                            const Value* inputs, char* message,
                                                            std::size_t messageSize) {
  auto fail = [&](const std::string& text) {
    if (message != nullptr && messageSize > 0) {
      const std::size_t n = std::min(text.size(), messageSize - 1);
      std::memcpy(message, text.data(), n);
      message[n] = '\0';
    }
    return 1;
  };
  try {
    if (nargout > 2) return fail("hwIO gives at most two outputs (status, response).");
    std::vector<Value> in(inputs, inputs + std::max(nargin, 0));
    const int code = operationCode(in);
    std::string response;
    Value status;
    try {
      status = run(code, in, response);
    } catch (const Failure& f) {
      status = Value(static_cast<double>(f.status));
      response = f.what();
    }
    if (nargout >= 1) outputs[0] = status;
    if (nargout >= 2) outputs[1] = Value(response);
    return 0;
  } catch (const std::exception& e) {
    return fail(e.what());
  } catch (...) {
    return fail("hwIO: unexpected failure.");
  }
}

}  // extern "C"

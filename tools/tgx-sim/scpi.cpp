// Command splitting and the instrument model of tgx-sim.
#include "scpi.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace tgxsim {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

// One node of a command pattern: "FREQuency" matches "freq" and "frequency".
bool nodeMatches(std::string_view node, std::string_view pattern) {
  std::string shortForm;
  for (char c : pattern)
    if (std::isupper(static_cast<unsigned char>(c)))
      shortForm.push_back(static_cast<char>(std::tolower(c)));
  // A numeric suffix ("MARKer1") is accepted and ignored.
  while (!node.empty() && std::isdigit(static_cast<unsigned char>(node.back())))
    node.remove_suffix(1);
  const std::string n = lower(node);
  return n == shortForm || n == lower(pattern);
}

std::vector<std::string> split(std::string_view s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto pos = s.find(sep, start);
    out.emplace_back(s.substr(start, pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return out;
}

// "[SOURce]:FREQuency[:FIXed]" against "source:freq:fix" (without ':' or '?').
bool headerMatches(const std::vector<std::string>& nodes, std::size_t i,
                   const std::vector<std::pair<std::string, bool>>& pat, std::size_t j) {
  if (j == pat.size()) return i == nodes.size();
  if (pat[j].second && headerMatches(nodes, i, pat, j + 1)) return true;
  return i < nodes.size() && nodeMatches(nodes[i], pat[j].first) &&
         headerMatches(nodes, i + 1, pat, j + 1);
}

bool matches(std::string_view header, std::string_view pattern) {
  std::vector<std::pair<std::string, bool>> pat;
  std::string p(pattern);
  std::string node;
  bool optional = false;
  for (std::size_t k = 0; k <= p.size(); ++k) {
    const char c = k < p.size() ? p[k] : ':';
    if (c == '[' || c == ':') {
      // A node ends here; the next one is optional when a bracket opened it.
      if (!node.empty()) {
        pat.emplace_back(node, optional);
        optional = false;
      }
      node.clear();
      if (c == '[') optional = true;
    } else if (c != ']') {
      node.push_back(c);
    }
  }
  return headerMatches(split(header, ':'), 0, pat, 0);
}

// A number with an optional unit (Hz, kHz, MHz, GHz, dBm); nullopt otherwise.
std::optional<double> numberWithUnit(std::string_view arg) {
  const std::string a = lower(trim(arg));
  char* end = nullptr;
  const double v = std::strtod(a.c_str(), &end);
  if (end == a.c_str()) return std::nullopt;
  const std::string unit = trim(std::string_view(end));
  if (unit.empty() || unit == "hz" || unit == "dbm") return v;
  if (unit == "khz") return v * 1e3;
  if (unit == "mhz") return v * 1e6;
  if (unit == "ghz") return v * 1e9;
  return std::nullopt;
}

std::optional<bool> onOff(std::string_view arg) {
  const std::string a = lower(trim(arg));
  if (a == "on" || a == "1") return true;
  if (a == "off" || a == "0") return false;
  return std::nullopt;
}

// The text between the first pair of double quotes.
std::optional<std::string> quoted(std::string_view arg) {
  const auto a = arg.find('"');
  if (a == std::string_view::npos) return std::nullopt;
  const auto b = arg.find('"', a + 1);
  if (b == std::string_view::npos) return std::nullopt;
  return std::string(arg.substr(a + 1, b - a - 1));
}

bool validName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("_$&#+-[]").find(c) != std::string_view::npos;
  });
}

struct Setting {
  const char* pattern;
  const char* key;
  enum Kind { Number, OnOff, Choice } kind;
  double lo = 0, hi = 0;
  std::vector<std::string> choices = {};
  // Settings whose range is the family's: 0 frequency, 1 power, 2 clock.
  int ranged = -1;
};

std::pair<double, double> familyRange(const Family& f, int which) {
  if (which == 0) return {f.frequencyMin, f.frequencyMax};
  if (which == 1) return {f.powerMin, f.powerMax};
  return {f.clockMin, f.clockMax};
}

// SCPI's NR3 form of a number, as instruments answer MIN and MAX.
std::string nr3(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.8E", v);
  return text;
}

const std::vector<Setting>& settingTable() {
  static const std::vector<Setting> table = {
      {"[SOURce]:FREQuency[:FIXed]", "frequency", Setting::Number, 0, 0, {}, 0},
      {"[SOURce]:POWer[:LEVel][:IMMediate][:AMPLitude]", "power", Setting::Number, 0, 0, {}, 1},
      {"[SOURce]:RADio:ARB:CLOCk:SRATe", "srate", Setting::Number, 0, 0, {}, 2},
      {"[SOURce]:RADio:ARB:RFILter",
       "rfilter",
       Setting::Choice,
       0,
       0,
       {"250.0khz", "250khz", "2.5mhz", "8mhz", "through"}},
      {"[SOURce]:RADio:ARB:MARKer:RFBLank", "rfblank", Setting::OnOff},
      {"[SOURce]:RADio:ARB:MARKer:POLarity",
       "polarity",
       Setting::Choice,
       0,
       0,
       {"pos", "neg", "positive", "negative"}},
      {"[SOURce]:RADio:ARB:CLOCk:REFerence",
       "reference",
       Setting::Choice,
       0,
       0,
       {"int", "ext", "internal", "external"}},
      {"OUTPut[:STATe]", "output", Setting::OnOff},
      {"[SOURce]:DM:BBFilter", "bbfilter", Setting::Choice, 0, 0, {"2.1mhz", "40mhz", "through"}},
      {"[SOURce]:RADio:ARB:RSCaling", "rscaling", Setting::Number, 0, 100},
      {"[SOURce]:DM:IQATtenuation:AUTO", "iqatten_auto", Setting::OnOff},
      {"[SOURce]:DM:IQATtenuation", "iqatten", Setting::Number, 0, 40},
      {"[SOURce]:POWer:ALC[:STATe]", "alc", Setting::OnOff},
  };
  return table;
}

}  // namespace

std::optional<Family> familyNamed(std::string_view name) {
  const std::string n = lower(name);
  if (n == "b") return Family{100e3, 4e9, -136, 20, 1, 40e6};
  if (n == "c") return Family{100e3, 6e9, -136, 25, 1, 100e6};
  return std::nullopt;
}

std::string normalised(std::string_view text) {
  std::string t = lower(text);
  const auto b = t.find_first_not_of(" \t:");
  return b == std::string::npos ? std::string() : t.substr(b);
}

std::string Command::logLine() const {
  if (!hasBlock) return text;
  return text + "#" + std::to_string(block.size());
}

std::optional<Command> nextCommand(std::string& buffer) {
  // Nothing is taken off the buffer until the whole command, block and line
  // end included, has arrived.
  bool inQuotes = false;
  std::size_t blockAt = std::string::npos, blockStart = 0, blockLen = 0, afterBlock = 0;
  std::size_t i = 0;
  while (i < buffer.size()) {
    const char c = buffer[i];
    if (c == '"') inQuotes = !inQuotes;
    if (c == '\n') {
      Command cmd;
      if (blockAt != std::string::npos) {
        cmd.hasBlock = true;
        cmd.text = buffer.substr(0, blockAt) + buffer.substr(afterBlock, i - afterBlock);
        cmd.block = buffer.substr(blockStart, blockLen);
      } else {
        cmd.text = buffer.substr(0, i);
      }
      while (!cmd.text.empty() && cmd.text.back() == '\r') cmd.text.pop_back();
      buffer.erase(0, i + 1);
      return cmd;
    }
    if (c == '#' && !inQuotes && blockAt == std::string::npos) {
      if (i + 1 >= buffer.size()) return std::nullopt;
      const char d = buffer[i + 1];
      if (d >= '1' && d <= '9') {
        const std::size_t digits = static_cast<std::size_t>(d - '0');
        if (i + 2 + digits > buffer.size()) return std::nullopt;
        const std::string lenText = buffer.substr(i + 2, digits);
        if (!std::all_of(lenText.begin(), lenText.end(),
                         [](char x) { return x >= '0' && x <= '9'; }))
          throw std::runtime_error("malformed block length \"" + lenText + "\"");
        blockAt = i;
        blockStart = i + 2 + digits;
        blockLen = std::stoull(lenText);
        afterBlock = blockStart + blockLen;
        if (afterBlock > buffer.size()) return std::nullopt;
        i = afterBlock;
        continue;
      }
    }
    ++i;
  }
  return std::nullopt;
}

void Instrument::error(std::string e) {
  if (errors_.size() < 30)
    errors_.push_back(std::move(e));
  else
    errors_.back() = "-350,\"Queue overflow\"";
}

std::optional<std::string> Instrument::execute(const Command& cmd) {
  const std::string norm = normalised(cmd.text);
  for (const std::string& prefix : errorOn) {
    const std::string p = normalised(prefix);
    if (!p.empty() && norm.rfind(p, 0) == 0) {
      error(injectedError);
      return norm.find('?') != std::string::npos ? std::optional<std::string>("") : std::nullopt;
    }
  }
  const std::string t = trim(cmd.text);
  const auto space = t.find_first_of(" \t");
  std::string header = lower(t.substr(0, space));
  const std::string args = space == std::string::npos ? std::string() : trim(t.substr(space));
  if (header.empty()) return std::nullopt;
  if (header == "*idn?") return identity;
  if (header == "*rst") {
    settings_.clear();
    arbOn_ = false;
    selected_.clear();
    return std::nullopt;
  }
  if (header == "*cls") {
    errors_.clear();
    return std::nullopt;
  }
  if (header == "*opc?") return std::string("1");
  while (!header.empty() && header.front() == ':') header.erase(0, 1);
  const bool query = !header.empty() && header.back() == '?';
  if (query) header.pop_back();

  if (matches(header, "SYSTem:ERRor[:NEXT]") && query) {
    if (endlessErrors) return injectedError;
    if (errors_.empty()) return std::string("+0,\"No error\"");
    std::string e = errors_.front();
    errors_.pop_front();
    return e;
  }
  if (matches(header, "MEMory:DATA") && !query) {
    if (!cmd.hasBlock) {
      error("-161,\"Invalid block data\"");
      return std::nullopt;
    }
    storeBlock(args.empty() ? t : args, cmd.block);
    return std::nullopt;
  }
  if (matches(header, "[SOURce]:RADio:ARB:STATe")) {
    if (query) return std::string(arbOn_ ? "1" : "0");
    const auto v = onOff(args);
    if (!v)
      error("-224,\"Illegal parameter value\"");
    else if (*v && waveforms_.count(selected_) == 0)
      error("-221,\"Settings conflict;no waveform selected\"");
    else
      arbOn_ = *v;
    return std::nullopt;
  }
  if (matches(header, "[SOURce]:RADio:ARB:WAVeform")) {
    if (query) return "\"arbi:" + selected_ + "\"";
    const auto q = quoted(args);
    std::string name = q ? *q : std::string();
    if (lower(name).rfind("arbi:", 0) == 0) name = name.substr(5);
    if (waveforms_.count(name) == 0) {
      error("-256,\"File name not found;" + name + "\"");
      return std::nullopt;
    }
    selected_ = name;
    return std::nullopt;
  }
  for (const Setting& s : settingTable()) {
    if (!matches(header, s.pattern)) continue;
    if (query && s.ranged >= 0 && (lower(args) == "min" || lower(args) == "max")) {
      if (ranges == Ranges::Fixed) return rangeAnswer;
      if (ranges == Ranges::Unknown) {
        error("-224,\"Illegal parameter value\"");
        return std::string();
      }
      const auto [lo, hi] = familyRange(family, s.ranged);
      return nr3(lower(args) == "min" ? lo : hi);
    }
    if (query) {
      auto it = settings_.find(s.key);
      return it == settings_.end() ? std::string() : it->second;
    }
    switch (s.kind) {
      case Setting::Number: {
        const auto v = numberWithUnit(args);
        if (!v)
          error("-224,\"Illegal parameter value\"");
        else if (const auto [lo, hi] =
                     s.ranged >= 0 ? familyRange(family, s.ranged) : std::pair(s.lo, s.hi);
                 *v < lo || *v > hi)
          error("-222,\"Data out of range\"");
        else
          settings_[s.key] = trim(args);
        break;
      }
      case Setting::OnOff: {
        const auto v = onOff(args);
        if (!v)
          error("-224,\"Illegal parameter value\"");
        else
          settings_[s.key].assign(1, *v ? '1' : '0');
        break;
      }
      case Setting::Choice: {
        const std::string a = lower(args);
        if (std::find(s.choices.begin(), s.choices.end(), a) == s.choices.end())
          error("-224,\"Illegal parameter value\"");
        else
          settings_[s.key] = a;
        break;
      }
    }
    return std::nullopt;
  }
  error("-113,\"Undefined header\"");
  return query ? std::optional<std::string>("") : std::nullopt;
}

void Instrument::storeBlock(std::string_view args, const std::string& data) {
  const auto q = quoted(args);
  if (!q) {
    error("-151,\"Invalid string data\"");
    return;
  }
  const std::string target = *q;
  const auto colon = target.find(':');
  const std::string kind =
      colon == std::string::npos ? std::string() : lower(target.substr(0, colon));
  const std::string name = colon == std::string::npos ? std::string() : target.substr(colon + 1);
  if ((kind != "arbi" && kind != "mkr") || !validName(name)) {
    error("-151,\"Invalid string data;" + target + "\"");
    return;
  }
  if (kind == "arbi") {
    if (data.empty() || data.size() % 4 != 0) {
      error("-161,\"Invalid block data;I/Q data must be whole sample pairs\"");
      return;
    }
    Waveform& w = waveforms_[name];
    w.iq = data;
    w.markers.clear();
  } else {
    auto it = waveforms_.find(name);
    if (it == waveforms_.end()) {
      error("-256,\"File name not found;" + name + "\"");
      return;
    }
    if (data.size() != it->second.iq.size() / 4) {
      error("-161,\"Invalid block data;one marker byte per sample\"");
      return;
    }
    it->second.markers = data;
  }
  if (!saveDir.empty()) {
    const std::string path = saveDir + "/" + name + (kind == "arbi" ? ".iq" : ".mkr");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) error("-257,\"File name error;cannot write " + path + "\"");
  }
}

}  // namespace tgxsim

// Callbacks: the small evaluator of the callback strings the layouts and
// modules use, and the object and window whose callback is running.
#include <QObject>
#include <QVariant>
#include <cctype>
#include <cstdlib>
#include <iostream>

#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

namespace {

struct Parser {
  std::string_view s;
  std::size_t i = 0;
  Handle source;

  void skip() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
  bool eat(char c) {
    skip();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  [[noreturn]] void fail(const std::string& why) {
    raise("Cannot evaluate the callback \"" + std::string(s) + "\": " + why + ".");
  }
  std::string ident() {
    skip();
    const std::size_t start = i;
    while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
    if (start == i || std::isdigit(static_cast<unsigned char>(s[start])))
      fail("a name was expected");
    return std::string(s.substr(start, i - start));
  }
  std::vector<Value> args() {
    std::vector<Value> out;
    if (!eat('(')) return out;
    if (eat(')')) return out;
    do out.push_back(arg());
    while (eat(','));
    if (!eat(')')) fail("')' was expected");
    return out;
  }
  Value arg() {
    skip();
    if (i >= s.size()) fail("an argument was expected");
    const char c = s[i];
    if (c == '\'') {
      std::string text;
      ++i;
      while (true) {
        if (i >= s.size()) fail("a text is not closed");
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += s[i++];
      }
      return Value(text);
    }
    if (c == '[') {
      ++i;
      if (!eat(']')) fail("only [] is understood inside brackets");
      return Value::empty();
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
      const std::string rest(s.substr(i));
      char* end = nullptr;
      const double x = std::strtod(rest.c_str(), &end);
      if (end == rest.c_str()) fail("a number was expected");
      i += static_cast<std::size_t>(end - rest.c_str());
      return x;
    }
    const std::string name = ident();
    if (name == "gcbo") return source.toValue();
    if (name == "gcbf" || name == "gcf") return figureOf(source).toValue();
    std::vector<Value> a = args();
    if (name == "guidata") {
      if (a.size() != 1) fail("guidata takes one handle here");
      return guidata(handleFrom(a[0], "guidata"));
    }
    std::vector<Value> r = feval(name, 1, a);
    return r.empty() ? Value() : r[0];
  }
};

}  // namespace

void evalCallback(std::string_view text, Handle source) {
  Registry& r = reg();
  r.callbackStack.emplace_back(source.id(), figureOf(source).id());
  try {
    Parser p{text, 0, source};
    p.skip();
    if (p.i < text.size()) {
      const std::string name = p.ident();
      std::vector<Value> a = p.args();
      p.eat(';');
      p.skip();
      if (p.i != text.size()) p.fail("unexpected text after the call");
      feval(name, 0, a);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
  }
  r.callbackStack.pop_back();
}

void runCallback(Handle handle) {
  QObject* o = objectOf(handle);
  if (!o) return;
  const QString cb = o->property("Callback").toString();
  if (!cb.isEmpty()) evalCallback(fromQ(cb), handle);
}

Handle gcbo() {
  return reg().callbackStack.empty() ? 0 : reg().callbackStack.back().first;
}
Handle gcbf() {
  return reg().callbackStack.empty() ? 0 : reg().callbackStack.back().second;
}

}  // namespace dot11a::gfx

// Conversions between the layer's values and Qt: texts, on/off switches,
// colours and numeric vectors.
#include <QString>
#include <algorithm>
#include <cctype>
#include <cmath>

#include "dot11a/error.hpp"
#include "gui/graphics/internal.hpp"

namespace dot11a::gfx {

QString toQ(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string fromQ(const QString& s) {
  return s.toUtf8().toStdString();
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string onOff(bool b) {
  return b ? "on" : "off";
}

bool toBool(const Value& v, std::string_view prop) {
  if (v.isText()) {
    const std::string s = lower(v.str());
    if (s == "on") return true;
    if (s == "off") return false;
    raise("The property " + std::string(prop) + " takes 'on' or 'off', not '" + v.str() + "'.");
  }
  return v.truthy();
}

std::string textOf(const Value& v) {
  if (v.isText()) return v.str();
  if (v.isEmpty()) return "";
  if (v.isCell()) {
    std::string out;
    for (std::size_t i = 0; i < v.numel(); ++i) {
      if (i) out += '\n';
      out += textOf(v.cellAt(i));
    }
    return out;
  }
  if (v.isNumeric()) {
    // A number shown in a text control; whole numbers without a fraction.
    const double x = v.toScalar();
    if (x == std::floor(x) && std::fabs(x) < 1e15) return std::to_string(static_cast<long long>(x));
    return fromQ(QString::number(x, 'g', 10));
  }
  raise("A text was expected, not " + v.describe() + ".");
}

Value colorValue(const QColor& c) {
  return Value::row({c.redF(), c.greenF(), c.blueF()});
}

QColor colorFrom(const Value& v) {
  if (v.isText()) {
    // The one-letter colour names of line formats, then Qt's names.
    static const std::pair<const char*, const char*> kLetters[] = {
        {"b", "#0000ff"}, {"g", "#008000"}, {"r", "#ff0000"}, {"c", "#00bfbf"},
        {"m", "#bf00bf"}, {"y", "#bfbf00"}, {"k", "#000000"}, {"w", "#ffffff"}};
    for (const auto& [letter, rgb] : kLetters)
      if (v.str() == letter) return QColor(rgb);
    QColor c(toQ(v.str()));
    if (!c.isValid()) raise("'" + v.str() + "' is not a colour.");
    return c;
  }
  if (v.numel() != 3 || !v.isNumeric())
    raise("A colour is [red green blue] with values from 0 to 1.");
  auto part = [&](std::size_t i) { return std::clamp(v.real(i), 0.0, 1.0); };
  return QColor::fromRgbF(static_cast<float>(part(0)), static_cast<float>(part(1)),
                          static_cast<float>(part(2)));
}

std::vector<double> numbersOf(const Value& v, std::string_view what) {
  if (v.isEmpty()) return {};
  if (!v.isNumeric() || v.isComplex())
    raise(std::string(what) + " must be real numbers, not " + v.describe() + ".");
  std::vector<double> out(v.numel());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = v.real(i);
  return out;
}

}  // namespace dot11a::gfx

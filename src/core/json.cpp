#include "dot11a/json.hpp"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "dot11a/error.hpp"

namespace dot11a {

namespace {

using Json = nlohmann::ordered_json;

// Records and cell lists are read recursively, one call per level: deeper
// nesting than kMaxValueNesting is refused rather than left to exhaust the
// stack. (The parser itself and the parsed tree's destructor do not recurse.)

bool isNumberArray(const Json& j) {
  if (!j.is_array()) return false;
  for (const Json& e : j)
    if (!e.is_number()) return false;
  return true;
}

// A row or a matrix of numbers, as rows x cols in column-major order.
bool numericShape(const Json& j, std::size_t& rows, std::size_t& cols, std::vector<double>& out) {
  out.clear();
  if (j.is_number()) {
    rows = cols = 1;
    out.push_back(j.get<double>());
    return true;
  }
  if (!j.is_array()) return false;
  if (j.empty()) {
    rows = cols = 0;
    return true;
  }
  if (isNumberArray(j)) {
    rows = 1;
    cols = j.size();
    for (const Json& e : j) out.push_back(e.get<double>());
    return true;
  }
  for (const Json& r : j)
    if (!isNumberArray(r) || r.size() != j[0].size()) return false;
  rows = j.size();
  cols = j[0].size();
  out.resize(rows * cols);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols; ++c) out[c * rows + r] = j[r][c].get<double>();
  return true;
}

Value fromJson(const Json& j, int depth) {
  if (depth > kMaxValueNesting)
    raise("The JSON value nests arrays and objects more than " + std::to_string(kMaxValueNesting) +
          " levels deep, which is more than any value of this library has.");
  std::size_t rows = 0, cols = 0;
  std::vector<double> re;
  if (j.is_null()) return Value();
  if (j.is_boolean()) return Value(j.get<bool>() ? 1.0 : 0.0);
  if (j.is_string()) return Value(j.get<std::string>());
  if (numericShape(j, rows, cols, re)) return Value::matrix(rows, cols, std::move(re));
  if (j.is_object()) {
    if (j.size() == 2 && j.contains("re") && j.contains("im")) {
      std::size_t r2 = 0, c2 = 0;
      std::vector<double> im;
      if (numericShape(j["re"], rows, cols, re) && numericShape(j["im"], r2, c2, im)) {
        if (r2 != rows || c2 != cols)
          raise("JSON complex value: \"re\" and \"im\" differ in shape.");
        return Value::matrix(rows, cols, std::move(re), std::move(im));
      }
    }
    if (j.size() == 1 && j.contains("int32") && numericShape(j["int32"], rows, cols, re)) {
      std::vector<std::int32_t> v;
      for (double x : re) {
        if (x != std::trunc(x) || x < -2147483648.0 || x > 2147483647.0)
          raise("JSON int32 value out of range: " + std::to_string(x));
        v.push_back(static_cast<std::int32_t>(x));
      }
      return Value::int32Matrix(rows, cols, std::move(v));
    }
    std::vector<Field> fields;
    for (auto it = j.begin(); it != j.end(); ++it)
      fields.emplace_back(it.key(), fromJson(*it, depth + 1));
    return Value::record(std::move(fields));
  }
  std::vector<Value> items;
  for (const Json& e : j) items.push_back(fromJson(e, depth + 1));
  return Value::cellRow(std::move(items));
}

void writeNumber(std::string& s, double x) {
  if (std::isnan(x)) {
    s += "\"NaN\"";
  } else if (std::isinf(x)) {
    s += x > 0 ? "\"Inf\"" : "\"-Inf\"";
  } else {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    s += buf;
  }
}

template <typename Get>
void writeShape(std::string& s, std::size_t rows, std::size_t cols, Get get) {
  if (rows == 1 && cols == 1) {
    writeNumber(s, get(0));
    return;
  }
  auto writeRow = [&](std::size_t r) {
    s += '[';
    for (std::size_t c = 0; c < cols; ++c) {
      if (c) s += ',';
      writeNumber(s, get(c * rows + r));
    }
    s += ']';
  };
  if (rows * cols == 0) {
    s += "[]";
  } else if (rows == 1) {
    writeRow(0);
  } else {
    s += '[';
    for (std::size_t r = 0; r < rows; ++r) {
      if (r) s += ',';
      writeRow(r);
    }
    s += ']';
  }
}

void write(std::string& s, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Absent:
      s += "null";
      break;
    case Value::Kind::Double: {
      auto re = v.re();
      if (!v.isComplex()) {
        writeShape(s, v.rows(), v.cols(), [&](std::size_t i) { return re[i]; });
      } else {
        auto im = v.im();
        s += "{\"re\":";
        writeShape(s, v.rows(), v.cols(), [&](std::size_t i) { return re[i]; });
        s += ",\"im\":";
        writeShape(s, v.rows(), v.cols(), [&](std::size_t i) { return im[i]; });
        s += '}';
      }
      break;
    }
    case Value::Kind::Int32: {
      auto d = v.i32();
      s += "{\"int32\":";
      writeShape(s, v.rows(), v.cols(), [&](std::size_t i) { return double(d[i]); });
      s += '}';
      break;
    }
    case Value::Kind::Text:
      s += Json(v.str()).dump();
      break;
    case Value::Kind::Record: {
      s += '{';
      bool first = true;
      for (const Field& f : v.fields()) {
        if (!first) s += ',';
        first = false;
        s += Json(f.first).dump();
        s += ':';
        write(s, f.second);
      }
      s += '}';
      break;
    }
    case Value::Kind::Cell: {
      s += '[';
      bool first = true;
      for (const Value& e : v.cells()) {
        if (!first) s += ',';
        first = false;
        write(s, e);
      }
      s += ']';
      break;
    }
  }
}

}  // namespace

Value valueFromJson(std::string_view text) {
  Json j;
  try {
    j = Json::parse(text);
  } catch (const Json::parse_error& e) {
    raise("Not a JSON value: '" + std::string(text) + "' (" + e.what() + ").");
  }
  return fromJson(j, 1);
}

std::string valueToJson(const Value& v) {
  std::string s;
  write(s, v);
  return s;
}

}  // namespace dot11a

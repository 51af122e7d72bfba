#include "dot11a/value.hpp"

#include <algorithm>
#include <cstdio>

#include "dot11a/error.hpp"

namespace dot11a {

// One payload for every kind; only the members of its kind are used.
struct Value::Node {
  Kind kind = Kind::Absent;
  std::size_t rows = 0;
  std::size_t cols = 0;
  std::vector<double> re;
  std::vector<double> im;  // empty for real matrices
  std::vector<std::int32_t> i32;
  std::string text;
  std::vector<Field> fields;
  std::vector<Value> cells;
};

namespace {

std::shared_ptr<Value::Node> makeNode(Value::Kind k, std::size_t r, std::size_t c) {
  auto n = std::make_shared<Value::Node>();
  n->kind = k;
  n->rows = r;
  n->cols = c;
  return n;
}

void checkSize(std::size_t rows, std::size_t cols, std::size_t n, const char* what) {
  if (rows * cols != n)
    raise(std::string(what) + ": " + std::to_string(rows) + "x" + std::to_string(cols) + " needs " +
          std::to_string(rows * cols) + " elements, got " + std::to_string(n) + ".");
}

}  // namespace

Value::Value() = default;

Value::Value(double x) : node_(makeNode(Kind::Double, 1, 1)) {
  node_->re = {x};
}

Value::Value(cplx z) : node_(makeNode(Kind::Double, 1, 1)) {
  node_->re = {z.real()};
  node_->im = {z.imag()};
}

Value::Value(std::string s) : node_(makeNode(Kind::Text, s.empty() ? 0 : 1, s.size())) {
  node_->text = std::move(s);
}

Value Value::empty() {
  return Value(makeNode(Kind::Double, 0, 0));
}

Value Value::matrix(std::size_t rows, std::size_t cols, std::vector<double> colMajor) {
  checkSize(rows, cols, colMajor.size(), "matrix");
  auto n = makeNode(Kind::Double, rows, cols);
  n->re = std::move(colMajor);
  return Value(std::move(n));
}

Value Value::matrix(std::size_t rows, std::size_t cols, std::vector<double> re,
                    std::vector<double> im) {
  checkSize(rows, cols, re.size(), "matrix");
  if (!im.empty()) checkSize(rows, cols, im.size(), "matrix (imaginary part)");
  auto n = makeNode(Kind::Double, rows, cols);
  n->re = std::move(re);
  n->im = std::move(im);
  return Value(std::move(n));
}

Value Value::zeros(std::size_t rows, std::size_t cols) {
  return matrix(rows, cols, std::vector<double>(rows * cols, 0.0));
}

Value Value::row(std::vector<double> values) {
  const std::size_t n = values.size();
  return matrix(n == 0 ? 0 : 1, n, std::move(values));
}

Value Value::row(std::span<const cplx> values) {
  std::vector<double> re(values.size()), im(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    re[i] = values[i].real();
    im[i] = values[i].imag();
  }
  const std::size_t n = values.size();
  return matrix(n == 0 ? 0 : 1, n, std::move(re), std::move(im));
}

Value Value::column(std::vector<double> values) {
  const std::size_t n = values.size();
  return matrix(n, n == 0 ? 0 : 1, std::move(values));
}

Value Value::bits(std::span<const std::uint8_t> bits) {
  std::vector<double> v(bits.size());
  for (std::size_t i = 0; i < bits.size(); ++i) v[i] = bits[i] ? 1.0 : 0.0;
  return row(std::move(v));
}

Value Value::int32(std::int32_t v) {
  return int32Matrix(1, 1, {v});
}

Value Value::int32Matrix(std::size_t rows, std::size_t cols, std::vector<std::int32_t> colMajor) {
  checkSize(rows, cols, colMajor.size(), "int32 matrix");
  auto n = makeNode(Kind::Int32, rows, cols);
  n->i32 = std::move(colMajor);
  return Value(std::move(n));
}

Value Value::record(std::vector<Field> fields) {
  auto n = makeNode(Kind::Record, 1, 1);
  n->fields = std::move(fields);
  return Value(std::move(n));
}

Value Value::cell(std::size_t rows, std::size_t cols, std::vector<Value> colMajor) {
  checkSize(rows, cols, colMajor.size(), "cell list");
  auto n = makeNode(Kind::Cell, rows, cols);
  n->cells = std::move(colMajor);
  return Value(std::move(n));
}

Value Value::cellRow(std::vector<Value> items) {
  const std::size_t n = items.size();
  return cell(n == 0 ? 0 : 1, n, std::move(items));
}

Value::Kind Value::kind() const {
  return node_ ? node_->kind : Kind::Absent;
}

bool Value::isComplex() const {
  return isDouble() && !node_->im.empty();
}

const char* Value::kindName(Kind k) {
  switch (k) {
    case Kind::Absent:
      return "absent";
    case Kind::Double:
      return "double";
    case Kind::Int32:
      return "int32";
    case Kind::Text:
      return "text";
    case Kind::Record:
      return "record";
    case Kind::Cell:
      return "cell list";
  }
  return "?";
}

std::size_t Value::rows() const {
  return node_ ? node_->rows : 0;
}
std::size_t Value::cols() const {
  return node_ ? node_->cols : 0;
}

bool Value::truthy() const {
  if (isEmpty()) return false;
  switch (kind()) {
    case Kind::Double:
      for (std::size_t i = 0; i < node_->re.size(); ++i)
        if (node_->re[i] == 0.0 && (node_->im.empty() || node_->im[i] == 0.0)) return false;
      return true;
    case Kind::Int32:
      return std::all_of(node_->i32.begin(), node_->i32.end(), [](std::int32_t v) { return v; });
    case Kind::Text:
      return std::all_of(node_->text.begin(), node_->text.end(), [](char ch) { return ch; });
    case Kind::Record:
    case Kind::Cell:
      raise("A " + std::string(kindName()) + " cannot be used as a condition.");
    case Kind::Absent:
      return false;
  }
  return false;
}

std::span<const double> Value::re() const {
  if (!isDouble()) return {};
  return node_->re;
}
std::span<const double> Value::im() const {
  if (!isDouble()) return {};
  return node_->im;
}

Value::Node& Value::mut() {
  if (!node_) node_ = makeNode(Kind::Absent, 0, 0);
  if (node_.use_count() > 1) node_ = std::make_shared<Node>(*node_);
  return *node_;
}

std::span<double> Value::mutRe() {
  if (!isDouble()) raise("Numeric access to a " + std::string(kindName()) + " value.");
  return mut().re;
}

std::span<double> Value::mutIm() {
  if (!isDouble()) raise("Numeric access to a " + std::string(kindName()) + " value.");
  Node& n = mut();
  if (n.im.empty()) n.im.assign(n.re.size(), 0.0);
  return n.im;
}

void Value::dropZeroImag() {
  if (!isComplex()) return;
  if (std::all_of(node_->im.begin(), node_->im.end(), [](double v) { return v == 0.0; }))
    mut().im.clear();
}

std::span<const std::int32_t> Value::i32() const {
  if (!isInt32()) return {};
  return node_->i32;
}

double Value::real(std::size_t i) const {
  if (i >= numel())
    raise("Index exceeds the number of elements (" + std::to_string(i + 1) + " > " +
          std::to_string(numel()) + ").");
  switch (kind()) {
    case Kind::Double:
      return node_->re[i];
    case Kind::Int32:
      return node_->i32[i];
    case Kind::Text:
      return static_cast<unsigned char>(node_->text[i]);
    default:
      raise("A " + std::string(kindName()) + " value is not a number.");
  }
}

cplx Value::complexAt(std::size_t i) const {
  if (isComplex() && i < numel()) return {node_->re[i], node_->im[i]};
  return {real(i), 0.0};
}

double Value::toScalar() const {
  if (isEmpty()) raise("A number was expected, but the value is empty.");
  return real(0);
}

std::vector<double> Value::toDoubles() const {
  std::vector<double> v(numel());
  if (isDouble()) return node_->re;
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = real(i);
  return v;
}

std::vector<cplx> Value::toComplex() const {
  std::vector<cplx> v(numel());
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = complexAt(i);
  return v;
}

std::vector<std::uint8_t> Value::toBits() const {
  std::vector<std::uint8_t> v(numel());
  if (kind() == Kind::Double) {  // the common case, without a checked access per bit
    const std::span<const double> r = re();
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = r[i] != 0.0 ? 1 : 0;
    return v;
  }
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = real(i) != 0.0 ? 1 : 0;
  return v;
}

const std::string& Value::str() const {
  if (!isText()) {
    if (isDouble() && isEmpty()) {
      static const std::string kEmpty;
      return kEmpty;  // [] stands for an empty text in the algorithms
    }
    raise("A text was expected, but the value is a " + describe() + ".");
  }
  return node_->text;
}

bool Value::hasField(std::string_view name) const {
  if (!isRecord()) return false;
  return std::any_of(node_->fields.begin(), node_->fields.end(),
                     [&](const Field& f) { return f.first == name; });
}

const Value& Value::field(std::string_view name) const {
  if (isRecord())
    for (const Field& f : node_->fields)
      if (f.first == name) return f.second;
  raise("Reference to non-existent field '" + std::string(name) + "'.");
}

Value& Value::field(std::string_view name) {
  if (isAbsent() || (isDouble() && isEmpty())) *this = record();
  if (!isRecord())
    raise("Field assignment to a " + std::string(kindName()) + " value ('" + std::string(name) +
          "').");
  Node& n = mut();
  for (Field& f : n.fields)
    if (f.first == name) return f.second;
  n.fields.emplace_back(std::string(name), Value());
  return n.fields.back().second;
}

bool Value::removeField(std::string_view name) {
  if (!hasField(name)) return false;
  auto& fs = mut().fields;
  fs.erase(std::find_if(fs.begin(), fs.end(), [&](const Field& f) { return f.first == name; }));
  return true;
}

std::span<const Field> Value::fields() const {
  if (!isRecord()) return {};
  return node_->fields;
}

std::span<Field> Value::mutFields() {
  if (!isRecord()) raise("A record was expected, but the value is a " + describe() + ".");
  return mut().fields;
}

std::vector<std::string> Value::fieldNames() const {
  std::vector<std::string> names;
  for (const Field& f : fields()) names.push_back(f.first);
  return names;
}

std::span<const Value> Value::cells() const {
  if (!isCell()) return {};
  return node_->cells;
}

std::span<Value> Value::mutCells() {
  if (!isCell()) raise("A cell list was expected, but the value is a " + describe() + ".");
  return mut().cells;
}

const Value& Value::cellAt(std::size_t i) const {
  if (!isCell()) raise("A cell list was expected, but the value is a " + describe() + ".");
  if (i >= numel())
    raise("Index exceeds the number of cells (" + std::to_string(i + 1) + " > " +
          std::to_string(numel()) + ").");
  return node_->cells[i];
}

Value& Value::cellAt(std::size_t i) {
  (void)static_cast<const Value&>(*this).cellAt(i);  // same checks
  return mut().cells[i];
}

void Value::reshape(std::size_t rows, std::size_t cols) {
  if (rows * cols != numel())
    raise("To reshape, the number of elements must not change (" + std::to_string(numel()) +
          " to " + std::to_string(rows) + "x" + std::to_string(cols) + ").");
  if (isAbsent() || isRecord()) raise("A " + std::string(kindName()) + " cannot be reshaped.");
  Node& n = mut();
  n.rows = rows;
  n.cols = cols;
}

// Exported here: the class declares it only as a friend, which the visibility
// of the header's declarations does not reach.
DOT11A_API bool operator==(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  if (a.isAbsent()) return true;
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  const Value::Node& x = *a.node_;
  const Value::Node& y = *b.node_;
  switch (a.kind()) {
    case Value::Kind::Double: {
      if (x.re != y.re) return false;
      // A zero imaginary part equals none.
      auto imag = [](const Value::Node& n, std::size_t i) { return n.im.empty() ? 0.0 : n.im[i]; };
      for (std::size_t i = 0; i < x.re.size(); ++i)
        if (imag(x, i) != imag(y, i)) return false;
      return true;
    }
    case Value::Kind::Int32:
      return x.i32 == y.i32;
    case Value::Kind::Text:
      return x.text == y.text;
    case Value::Kind::Record:
      return x.fields == y.fields;
    case Value::Kind::Cell:
      return x.cells == y.cells;
    case Value::Kind::Absent:
      return true;
  }
  return false;
}

std::string Value::describe() const {
  std::string dims = std::to_string(rows()) + "x" + std::to_string(cols());
  switch (kind()) {
    case Kind::Absent:
      return "absent value";
    case Kind::Double:
      return dims + (isComplex() ? " complex double" : " double");
    case Kind::Int32:
      return dims + " int32";
    case Kind::Text:
      return "text '" + node_->text + "'";
    case Kind::Record:
      return "record";
    case Kind::Cell:
      return dims + " cell list";
  }
  return "?";
}

}  // namespace dot11a

// Array values of the library's runtime: the single type every exported
// operation takes and returns.
//
// A Value is one of
//   - absent: a missing input or an output nobody assigned (distinct from empty);
//   - a real or complex double matrix (column-major, like the algorithms' arrays);
//   - an int32 matrix (gateway codes and addresses);
//   - a text (a character row);
//   - a record with ordered named fields;
//   - a cell list (a matrix of values).
// Values have value semantics. The payload is shared between copies and copied
// on the first write, so passing and returning values is cheap.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

using cplx = std::complex<double>;

class Value;
using Field = std::pair<std::string, Value>;

class Value {
 public:
  enum class Kind : std::uint8_t { Absent, Double, Int32, Text, Record, Cell };

  // ---- construction --------------------------------------------------------
  Value();                                              // absent
  Value(double x);                                      // NOLINT: 1x1 real
  Value(cplx z);                                        // NOLINT: 1x1 complex
  Value(const char* s) : Value(std::string(s)) {}       // NOLINT: text
  Value(std::string s);                                 // NOLINT: text
  Value(std::string_view s) : Value(std::string(s)) {}  // NOLINT: text

  static Value absent() { return Value(); }
  static Value empty();  // 0x0 real matrix, the "[]" of the algorithms
  static Value scalar(double x) { return Value(x); }
  static Value matrix(std::size_t rows, std::size_t cols, std::vector<double> colMajor);
  static Value matrix(std::size_t rows, std::size_t cols, std::vector<double> re,
                      std::vector<double> im);  // complex; im may be empty for real
  static Value zeros(std::size_t rows, std::size_t cols);
  static Value row(std::vector<double> values);
  static Value row(std::span<const cplx> values);
  static Value row(std::initializer_list<double> values) {
    return row(std::vector<double>(values));
  }
  static Value column(std::vector<double> values);
  static Value bits(std::span<const std::uint8_t> bits);  // row of 0.0/1.0
  static Value int32(std::int32_t v);
  static Value int32Matrix(std::size_t rows, std::size_t cols, std::vector<std::int32_t> colMajor);
  static Value text(std::string s) { return Value(std::move(s)); }
  static Value record(std::vector<Field> fields = {});
  static Value cell(std::size_t rows, std::size_t cols, std::vector<Value> colMajor);
  static Value cellRow(std::vector<Value> items);
  static Value logical(bool b) { return Value(b ? 1.0 : 0.0); }

  // ---- classification ------------------------------------------------------
  Kind kind() const;
  bool isAbsent() const { return kind() == Kind::Absent; }
  bool isDouble() const { return kind() == Kind::Double; }
  bool isComplex() const;  // double matrix with an imaginary part
  bool isInt32() const { return kind() == Kind::Int32; }
  bool isNumeric() const { return isDouble() || isInt32(); }
  bool isText() const { return kind() == Kind::Text; }
  bool isRecord() const { return kind() == Kind::Record; }
  bool isCell() const { return kind() == Kind::Cell; }
  static const char* kindName(Kind k);
  const char* kindName() const { return kindName(kind()); }

  // Dimensions. A record is 1x1, a text 1xN (0x0 when empty), absent 0x0.
  std::size_t rows() const;
  std::size_t cols() const;
  std::size_t numel() const { return rows() * cols(); }
  bool isEmpty() const { return numel() == 0; }
  bool isScalar() const { return numel() == 1; }
  bool isVector() const { return rows() == 1 || cols() == 1; }

  // The truth rule used everywhere a value is a condition: non-empty and every
  // element non-zero (for complex, either part non-zero; a text by its codes).
  bool truthy() const;

  // ---- numbers ---------------------------------------------------------------
  // Read access to double matrices (column-major). im() is empty for real values.
  std::span<const double> re() const;
  std::span<const double> im() const;
  // Write access; copies a shared payload first. mutIm() adds a zero imaginary part.
  std::span<double> mutRe();
  std::span<double> mutIm();
  // Drops an all-zero imaginary part, as the runtime does after arithmetic.
  void dropZeroImag();

  std::span<const std::int32_t> i32() const;

  // Element i (0-based, linear) as a real number, or as complex. Works for double,
  // int32 and (character codes of) text. Throws a run-time error when out of range.
  double real(std::size_t i) const;
  cplx complexAt(std::size_t i) const;
  // The first element as a number; throws when empty or not numeric.
  double toScalar() const;
  // All elements, real parts / complex, in linear order.
  std::vector<double> toDoubles() const;
  std::vector<cplx> toComplex() const;
  // All elements as 0/1 bits (non-zero becomes 1).
  std::vector<std::uint8_t> toBits() const;

  // ---- text ------------------------------------------------------------------
  // The characters of a text; throws when the value is not a text.
  const std::string& str() const;

  // ---- records ---------------------------------------------------------------
  bool hasField(std::string_view name) const;
  // Throws a run-time error naming the field when it is missing.
  const Value& field(std::string_view name) const;
  // Returns the field, appending it (absent) at the end when missing. Turns an
  // absent or empty value into a record first, as assignment to a field does.
  Value& field(std::string_view name);
  void setField(std::string_view name, Value v) { field(name) = std::move(v); }
  bool removeField(std::string_view name);
  std::span<const Field> fields() const;
  std::span<Field> mutFields();
  std::vector<std::string> fieldNames() const;

  // ---- cells -----------------------------------------------------------------
  std::span<const Value> cells() const;
  std::span<Value> mutCells();
  const Value& cellAt(std::size_t i) const;
  Value& cellAt(std::size_t i);

  // Reshape (numel must match); works for every matrix-like kind.
  void reshape(std::size_t rows, std::size_t cols);

  // Deep equality: same kind, same dimensions, same elements, same field order.
  friend bool operator==(const Value& a, const Value& b);

  // A short human-readable description ("1x53 double", "text 'abc'", ...) used in
  // error messages.
  std::string describe() const;

  struct Node;

 private:
  explicit Value(std::shared_ptr<Node> n) : node_(std::move(n)) {}
  Node& mut();
  std::shared_ptr<Node> node_;
};

}  // namespace dot11a

DOT11A_API_END

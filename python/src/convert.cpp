// Conversions at the module's edge: receiver reports (JSON) to Python objects,
// and Python or numpy arguments of a call by name to library values and back.
#include <pybind11/complex.h>
#include <pybind11/numpy.h>

#include <cstring>
#include <string_view>

#include "dot11a/error.hpp"
#include "dot11a/json.hpp"
#include "veltora.hpp"

namespace veltora {

using dot11a::Value;

py::object fromJson(const nlohmann::json& j) {
  switch (j.type()) {
    case nlohmann::json::value_t::null:
      return py::none();
    case nlohmann::json::value_t::boolean:
      return py::bool_(j.get<bool>());
    case nlohmann::json::value_t::number_integer:
      return py::int_(j.get<long long>());
    case nlohmann::json::value_t::number_unsigned:
      return py::int_(j.get<unsigned long long>());
    case nlohmann::json::value_t::number_float:
      return py::float_(j.get<double>());
    case nlohmann::json::value_t::string:
      return py::str(j.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
      py::list l(j.size());
      for (std::size_t i = 0; i < j.size(); ++i) l[i] = fromJson(j[i]);
      return l;
    }
    case nlohmann::json::value_t::object: {
      py::dict d;
      for (const auto& [k, v] : j.items()) d[py::str(k)] = fromJson(v);
      return d;
    }
    default:
      return py::none();
  }
}

namespace {

// A numeric array as a matrix: 0-d is 1x1, 1-d a row, 2-d rows x columns.
Value matrixOf(const py::array& a) {
  if (a.ndim() > 2)
    dot11a::raise("call: arrays of more than two dimensions have no library value (" +
                  std::to_string(a.ndim()) + " given).");
  const std::size_t rows = a.ndim() == 2 ? static_cast<std::size_t>(a.shape(0)) : 1;
  const std::size_t cols = a.ndim() == 0   ? 1
                           : a.ndim() == 1 ? static_cast<std::size_t>(a.shape(0))
                                           : static_cast<std::size_t>(a.shape(1));
  if (py::isinstance<py::array_t<std::int32_t>>(a)) {
    // Fortran order gives the column-major element order directly.
    const auto f = py::array_t<std::int32_t, py::array::f_style>::ensure(a);
    return Value::int32Matrix(rows, cols, std::vector<std::int32_t>(f.data(), f.data() + f.size()));
  }
  if (a.dtype().kind() == 'c') {
    const auto f =
        py::array_t<std::complex<double>, py::array::f_style | py::array::forcecast>::ensure(a);
    std::vector<double> re(f.size()), im(f.size());
    for (py::ssize_t i = 0; i < f.size(); ++i) {
      re[i] = f.data()[i].real();
      im[i] = f.data()[i].imag();
    }
    return Value::matrix(rows, cols, std::move(re), std::move(im));
  }
  const auto f = py::array_t<double, py::array::f_style | py::array::forcecast>::ensure(a);
  if (!f)
    dot11a::raise("call: an array of " + std::string(py::str(a.dtype())) +
                  " has no library value.");
  return Value::matrix(rows, cols, std::vector<double>(f.data(), f.data() + f.size()));
}

}  // namespace

Value toValue(py::handle h, int depth) {
  // One call per level of lists and dicts: deeper nesting than dot11a-call
  // accepts is refused rather than left to exhaust the stack.
  if (depth > dot11a::kMaxValueNesting)
    dot11a::raise("call: the value nests lists, tuples and dicts more than " +
                  std::to_string(dot11a::kMaxValueNesting) +
                  " levels deep, which is more than any value of this library has.");
  if (h.is_none()) return Value::absent();
  if (py::isinstance<py::bool_>(h)) return Value::logical(h.cast<bool>());
  if (py::isinstance<py::str>(h)) return Value(h.cast<std::string>());
  if (py::isinstance<py::dict>(h)) {
    std::vector<dot11a::Field> fields;
    for (const auto& [k, v] : h.cast<py::dict>())
      fields.emplace_back(py::str(k), toValue(v, depth + 1));
    return Value::record(std::move(fields));
  }
  if (py::isinstance<py::list>(h) || py::isinstance<py::tuple>(h)) {
    // Numbers (or rows of numbers) make a matrix; anything else a cell list.
    const py::sequence seq = h.cast<py::sequence>();
    bool numeric = true;
    for (const py::handle item : seq)
      if (py::isinstance<py::str>(item) || py::isinstance<py::dict>(item) || item.is_none())
        numeric = false;
    if (numeric) {
      try {
        // Only numbers make a matrix: lists of lists of texts, which numpy
        // turns into an array of texts, are cell lists.
        const py::array a = py::array::ensure(h);
        if (a && std::string_view("biufc").find(a.dtype().kind()) != std::string_view::npos)
          return matrixOf(a);
      } catch (const py::error_already_set&) {
      }
    }
    std::vector<Value> items;
    for (const py::handle item : seq) items.push_back(toValue(item, depth + 1));
    return Value::cellRow(std::move(items));
  }
  const py::array a = py::array::ensure(h);
  if (!a || a.dtype().kind() == 'O')
    dot11a::raise("call: a " + std::string(py::str(py::type::of(h).attr("__name__"))) +
                  " has no library value.");
  return matrixOf(a);
}

py::object fromValue(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Absent:
      return py::none();
    case Value::Kind::Text:
      return py::str(v.str());
    case Value::Kind::Record: {
      py::dict d;
      for (const auto& [name, field] : v.fields()) d[py::str(name)] = fromValue(field);
      return d;
    }
    case Value::Kind::Cell: {
      py::list l;
      for (const Value& c : v.cells()) l.append(fromValue(c));
      return l;
    }
    case Value::Kind::Int32: {
      py::array_t<std::int32_t, py::array::f_style> a({v.rows(), v.cols()});
      if (v.numel() > 0)
        std::memcpy(a.mutable_data(), v.i32().data(), v.numel() * sizeof(std::int32_t));
      return a;
    }
    case Value::Kind::Double:
      break;
  }
  if (v.isComplex()) {
    py::array_t<std::complex<double>, py::array::f_style> a({v.rows(), v.cols()});
    auto* out = a.mutable_data();
    for (std::size_t i = 0; i < v.numel(); ++i) out[i] = {v.re()[i], v.im()[i]};
    return a;
  }
  py::array_t<double, py::array::f_style> a({v.rows(), v.cols()});
  if (v.numel() > 0) std::memcpy(a.mutable_data(), v.re().data(), v.numel() * sizeof(double));
  return a;
}

}  // namespace veltora

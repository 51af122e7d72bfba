// MAT version 5 files through libmatio.
#include "dot11a/matfile.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <matio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>

#include "dot11a/error.hpp"
#include "mat5_check.hpp"

namespace dot11a {

namespace {

// libmatio is opened on first use rather than when the program starts: it
// brings the HDF5, curl and TLS libraries (some thirty), whose loading and
// relocation took most of a command-line tool's start-up even where no MAT
// file is read. Its functions, by their declared types.
// clang-format off
#define DOT11A_MATIO_FUNCTIONS(X)                                                     \
  X(Close) X(CreateVer) X(GetVersion) X(LogInitFunc) X(Open) X(Rewind) X(VarCreate) \
  X(VarCreateStruct) X(VarFree) X(VarGetCell) X(VarGetNumberOfFields)               \
  X(VarGetStructFieldByIndex) X(VarGetStructFieldnames) X(VarReadNext)              \
  X(VarReadNextInfo) X(VarSetStructFieldByIndex) X(VarWrite)
// clang-format on
struct Matio {
#define DOT11A_MATIO_FIELD(f) decltype(&::Mat_##f) f;
  DOT11A_MATIO_FUNCTIONS(DOT11A_MATIO_FIELD)
#undef DOT11A_MATIO_FIELD
};

// matio reports damaged input on standard error; the callers report it as an
// error of their own instead.
void silentLog(int, char*) {}

const Matio& matio() {
  static const Matio lib = [] {
    void* h = ::dlopen(DOT11A_MATIO_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr)
      raise(std::string("MAT files need the matio library (") + DOT11A_MATIO_SONAME +
            "), which cannot be loaded: " + ::dlerror());
    Matio m{};
    auto bind = [h](auto& f, const char* name) {
      f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(::dlsym(h, name));
      if (f == nullptr)
        raise(std::string("The matio library (") + DOT11A_MATIO_SONAME + ") lacks " + name + ".");
    };
#define DOT11A_MATIO_BIND(f) bind(m.f, "Mat_" #f);
    DOT11A_MATIO_FUNCTIONS(DOT11A_MATIO_BIND)
#undef DOT11A_MATIO_BIND
    m.LogInitFunc("dot11a", silentLog);
    return m;
  }();
  return lib;
}

struct VarDeleter {
  void operator()(matvar_t* v) const { matio().VarFree(v); }
};
using VarPtr = std::unique_ptr<matvar_t, VarDeleter>;

struct MatDeleter {
  void operator()(mat_t* m) const { matio().Close(m); }
};
using MatPtr = std::unique_ptr<mat_t, MatDeleter>;

std::string sysError() {
  return std::strerror(errno);
}

// ---- Value -> matvar ---------------------------------------------------------

VarPtr toMat(const char* name, const Value& v) {
  size_t dims[2] = {v.rows(), v.cols()};
  switch (v.kind()) {
    case Value::Kind::Absent: {
      size_t zero[2] = {0, 0};
      return VarPtr(matio().VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, zero, nullptr, 0));
    }
    case Value::Kind::Double: {
      if (v.isComplex()) {
        mat_complex_split_t split{const_cast<double*>(v.re().data()),
                                  const_cast<double*>(v.im().data())};
        return VarPtr(
            matio().VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &split, MAT_F_COMPLEX));
      }
      return VarPtr(matio().VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                      v.isEmpty() ? nullptr : const_cast<double*>(v.re().data()),
                                      0));
    }
    case Value::Kind::Int32:
      return VarPtr(
          matio().VarCreate(name, MAT_C_INT32, MAT_T_INT32, 2, dims,
                            v.isEmpty() ? nullptr : const_cast<std::int32_t*>(v.i32().data()), 0));
    case Value::Kind::Text: {
      const std::string& s = v.str();
      size_t tdims[2] = {s.empty() ? 0u : 1u, s.size()};
      return VarPtr(matio().VarCreate(name, MAT_C_CHAR, MAT_T_UINT8, 2, tdims,
                                      s.empty() ? nullptr : const_cast<char*>(s.data()), 0));
    }
    case Value::Kind::Record: {
      std::vector<std::string> names = v.fieldNames();
      std::vector<const char*> cnames;
      for (const auto& n : names) cnames.push_back(n.c_str());
      size_t one[2] = {1, 1};
      VarPtr s(matio().VarCreateStruct(name, 2, one, cnames.empty() ? nullptr : cnames.data(),
                                       static_cast<unsigned>(cnames.size())));
      if (!s) raise("Cannot store the record '" + std::string(name ? name : "") + "'.");
      std::size_t i = 0;
      for (const Field& f : v.fields()) {
        VarPtr child = toMat(f.first.c_str(), f.second);
        matio().VarSetStructFieldByIndex(s.get(), i++, 0, child.release());
      }
      return s;
    }
    case Value::Kind::Cell: {
      std::vector<matvar_t*> items;
      try {
        for (const Value& item : v.cells()) items.push_back(toMat(nullptr, item).release());
      } catch (...) {
        for (matvar_t* m : items) matio().VarFree(m);
        throw;
      }
      matvar_t* c = matio().VarCreate(name, MAT_C_CELL, MAT_T_CELL, 2, dims,
                                      items.empty() ? nullptr : items.data(), 0);
      if (c == nullptr)
        for (matvar_t* m : items) matio().VarFree(m);
      return VarPtr(c);
    }
  }
  return nullptr;
}

// ---- matvar -> Value ---------------------------------------------------------

std::size_t checkedNumel(const matvar_t* v, std::size_t& rows, std::size_t& cols) {
  if (v->rank < 1 || v->dims == nullptr) raise("The file holds a variable without dimensions.");
  rows = v->dims[0];
  cols = 1;
  for (int k = 1; k < v->rank; ++k) {
    if (v->dims[k] != 0 && cols > std::numeric_limits<std::size_t>::max() / v->dims[k])
      raise("The file holds a variable of impossible size.");
    cols *= v->dims[k];
  }
  if (cols != 0 && rows > std::numeric_limits<std::size_t>::max() / cols)
    raise("The file holds a variable of impossible size.");
  return rows * cols;
}

template <typename T>
void copyAs(const void* data, std::size_t n, std::vector<double>& out) {
  const T* p = static_cast<const T*>(data);
  out.resize(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<double>(p[i]);
}

// Element size of a numeric class as matio stores it after reading.
std::size_t classSize(matio_classes c) {
  switch (c) {
    case MAT_C_DOUBLE:
    case MAT_C_INT64:
    case MAT_C_UINT64:
      return 8;
    case MAT_C_SINGLE:
    case MAT_C_INT32:
    case MAT_C_UINT32:
      return 4;
    case MAT_C_INT16:
    case MAT_C_UINT16:
      return 2;
    case MAT_C_INT8:
    case MAT_C_UINT8:
      return 1;
    default:
      return 0;
  }
}

void numericPart(matio_classes c, const void* data, std::size_t n, std::vector<double>& out) {
  if (n == 0) return;
  if (data == nullptr) raise("The file holds a truncated numeric variable.");
  switch (c) {
    case MAT_C_DOUBLE:
      copyAs<double>(data, n, out);
      break;
    case MAT_C_SINGLE:
      copyAs<float>(data, n, out);
      break;
    case MAT_C_INT8:
      copyAs<std::int8_t>(data, n, out);
      break;
    case MAT_C_UINT8:
      copyAs<std::uint8_t>(data, n, out);
      break;
    case MAT_C_INT16:
      copyAs<std::int16_t>(data, n, out);
      break;
    case MAT_C_UINT16:
      copyAs<std::uint16_t>(data, n, out);
      break;
    case MAT_C_INT32:
      copyAs<std::int32_t>(data, n, out);
      break;
    case MAT_C_UINT32:
      copyAs<std::uint32_t>(data, n, out);
      break;
    case MAT_C_INT64:
      copyAs<std::int64_t>(data, n, out);
      break;
    case MAT_C_UINT64:
      copyAs<std::uint64_t>(data, n, out);
      break;
    default:
      raise("The file holds a variable of an unsupported kind.");
  }
}

Value fromMat(matvar_t* v, int depth) {
  if (v == nullptr) raise("The file holds a damaged variable.");
  if (depth > 64) raise("The file nests records or cells too deeply.");
  std::size_t rows = 0, cols = 0;
  const std::size_t n = checkedNumel(v, rows, cols);
  switch (v->class_type) {
    case MAT_C_EMPTY:
      return Value::empty();
    case MAT_C_CHAR: {
      if (n == 0) return Value(std::string());
      if (v->data == nullptr) raise("The file holds a truncated text.");
      std::size_t width = v->data_size > 0 ? static_cast<std::size_t>(v->data_size) : 1;
      if (v->data_type == MAT_T_UINT16 || v->data_type == MAT_T_INT16)
        width = 2;
      else if (v->data_type == MAT_T_UINT8 || v->data_type == MAT_T_INT8 ||
               v->data_type == MAT_T_UTF8)
        width = 1;
      if (width != 1 && width != 2) raise("The file holds a text of an unsupported encoding.");
      if (v->nbytes < n * width) raise("The file holds a truncated text.");
      std::string s;
      // Character arrays are column-major; rows are joined with line breaks.
      for (std::size_t r = 0; r < rows; ++r) {
        if (r > 0) s.push_back('\n');
        for (std::size_t c = 0; c < cols; ++c) {
          const std::size_t i = c * rows + r;
          unsigned code = width == 1 ? static_cast<const unsigned char*>(v->data)[i]
                                     : static_cast<const std::uint16_t*>(v->data)[i];
          if (code < 0x80) {
            s.push_back(static_cast<char>(code));
          } else if (width == 1) {
            s.push_back(static_cast<char>(code));
          } else if (code < 0x800) {
            s.push_back(static_cast<char>(0xC0 | (code >> 6)));
            s.push_back(static_cast<char>(0x80 | (code & 0x3F)));
          } else {
            s.push_back(static_cast<char>(0xE0 | (code >> 12)));
            s.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            s.push_back(static_cast<char>(0x80 | (code & 0x3F)));
          }
        }
      }
      return Value(std::move(s));
    }
    case MAT_C_STRUCT: {
      const unsigned nfields = matio().VarGetNumberOfFields(v);
      char* const* names = matio().VarGetStructFieldnames(v);
      if (nfields > 0 && names == nullptr) raise("The file holds a damaged record.");
      if (nfields > 0 && n > 0 && v->data == nullptr) raise("The file holds a truncated record.");
      if (nfields > 0 && n > 0 && v->nbytes / sizeof(matvar_t*) < n * nfields)
        raise("The file holds a truncated record.");
      auto element = [&](std::size_t index) {
        std::vector<Field> fields;
        std::set<std::string> seen;
        for (unsigned f = 0; f < nfields; ++f) {
          if (names[f] == nullptr) raise("The file holds a damaged record.");
          std::string fname = names[f];
          if (!seen.insert(fname).second) raise("The file holds a record with a repeated field.");
          matvar_t* child = matio().VarGetStructFieldByIndex(v, f, index);
          fields.emplace_back(std::move(fname), child ? fromMat(child, depth + 1) : Value::empty());
        }
        return Value::record(std::move(fields));
      };
      if (n == 1) return element(0);
      std::vector<Value> items;
      for (std::size_t i = 0; i < n; ++i) items.push_back(element(i));
      return Value::cell(rows, cols, std::move(items));
    }
    case MAT_C_CELL: {
      if (n > 0 && (v->data == nullptr || v->nbytes / sizeof(matvar_t*) < n))
        raise("The file holds a truncated cell list.");
      std::vector<Value> items;
      for (std::size_t i = 0; i < n; ++i)
        items.push_back(fromMat(matio().VarGetCell(v, static_cast<int>(i)), depth + 1));
      return Value::cell(rows, cols, std::move(items));
    }
    case MAT_C_SPARSE:
      raise("The file holds a sparse matrix, which is not supported.");
    case MAT_C_DOUBLE:
    case MAT_C_SINGLE:
    case MAT_C_INT8:
    case MAT_C_UINT8:
    case MAT_C_INT16:
    case MAT_C_UINT16:
    case MAT_C_INT32:
    case MAT_C_UINT32:
    case MAT_C_INT64:
    case MAT_C_UINT64: {
      const std::size_t esize = classSize(v->class_type);
      if (v->isComplex) {
        auto* split = static_cast<mat_complex_split_t*>(v->data);
        if (n > 0 && (split == nullptr || split->Re == nullptr || split->Im == nullptr))
          raise("The file holds a truncated numeric variable.");
        if (n > 0 && v->nbytes < n * esize) raise("The file holds a truncated numeric variable.");
        std::vector<double> re, im;
        numericPart(v->class_type, n ? split->Re : nullptr, n, re);
        numericPart(v->class_type, n ? split->Im : nullptr, n, im);
        if (n == 0) return Value::matrix(rows, cols, {});
        return Value::matrix(rows, cols, std::move(re), std::move(im));
      }
      if (n > 0 && v->nbytes < n * esize) raise("The file holds a truncated numeric variable.");
      if (v->class_type == MAT_C_INT32 && !v->isLogical) {
        std::vector<std::int32_t> vals(n);
        if (n > 0) std::memcpy(vals.data(), v->data, n * sizeof(std::int32_t));
        return Value::int32Matrix(rows, cols, std::move(vals));
      }
      std::vector<double> re;
      numericPart(v->class_type, v->data, n, re);
      return Value::matrix(rows, cols, std::move(re));
    }
    default:
      raise("The file holds a variable of an unsupported kind.");
  }
}

// Elements declared by a variable whose headers matio read: the array itself
// and every array inside it. Damaged parts count as none; reading the data
// refuses them later.
std::uint64_t declaredElements(const matvar_t* v, int depth) {
  if (v == nullptr || v->rank < 1 || v->dims == nullptr || depth > 64) return 0;
  std::size_t rows = 0, cols = 0;
  const std::uint64_t n = checkedNumel(v, rows, cols);
  std::uint64_t total = n;
  auto add = [&](const matvar_t* child) {
    const std::uint64_t k = declaredElements(child, depth + 1);
    total = k > UINT64_MAX - total ? UINT64_MAX : total + k;
  };
  const std::size_t slots = v->data ? v->nbytes / sizeof(matvar_t*) : 0;
  if (v->class_type == MAT_C_STRUCT) {
    const std::uint64_t fields = matio().VarGetNumberOfFields(const_cast<matvar_t*>(v));
    if (fields != 0 && n <= slots / fields)
      for (std::size_t i = 0; i < n * fields; ++i) add(static_cast<matvar_t* const*>(v->data)[i]);
  } else if (v->class_type == MAT_C_CELL && n <= slots) {
    for (std::size_t i = 0; i < n; ++i) add(static_cast<matvar_t* const*>(v->data)[i]);
  }
  return total;
}

}  // namespace

// ---- MAT files -------------------------------------------------------------------

void writeMatFile(const std::string& path, std::span<const NamedValue> variables) {
  AtomicFile file(path);
  {
    MatPtr mat(matio().CreateVer(file.tempPath().c_str(), nullptr, MAT_FT_MAT5));
    if (!mat) raise("Cannot write " + path + ": " + sysError() + ".");
    for (const auto& [name, value] : variables) {
      VarPtr var = toMat(name.c_str(), value);
      if (!var) raise("Cannot store the variable '" + name + "' in " + path + ".");
      if (matio().VarWrite(mat.get(), var.get(), MAT_COMPRESSION_NONE) != 0)
        raise("Cannot write " + path + ": writing '" + name + "' failed.");
    }
    if (matio().Close(mat.release()) != 0) raise("Cannot write " + path + ": closing failed.");
  }
  // Read the file back before it replaces the target: a short write (full
  // disk) shows up here rather than as a damaged file later.
  std::vector<NamedValue> back;
  try {
    back = readMatFile(file.tempPath());
  } catch (const std::exception&) {
    raise("Cannot write " + path + ": the written file does not read back.");
  }
  if (back.size() != variables.size())
    raise("Cannot write " + path + ": the written file does not read back.");
  file.commit();
}

std::vector<NamedValue> readMatFile(const std::string& path, const MatReadLimits& limits) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) raise("File " + path + " not found.");
  // A folder, a pipe or a device is refused without opening it: opening a
  // pipe waits for a writer, and a device may never end.
  if (!std::filesystem::is_regular_file(status))
    raise("Unable to read file '" + path + "': it is not a regular file.");
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) raise("Unable to read file '" + path + "': " + ec.message() + ".");
  const std::string damaged =
      "Unable to read file '" + path + "': the file is truncated or damaged.";
  std::optional<std::vector<std::uint64_t>> declared;
  {
    struct Descriptor {
      int fd;
      ~Descriptor() {
        if (fd >= 0) ::close(fd);
      }
    } const file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    const int fd = file.fd;
    if (fd < 0) raise("Unable to read file '" + path + "': " + sysError() + ".");
    // The header is checked first, from its own bytes, and the size before
    // the rest is read: matio would otherwise try the file as another version
    // and size buffers from whatever bytes it finds, and a large file that is
    // no MAT file at all would be read whole to find that out.
    std::vector<unsigned char> head(128);
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    if (!mat5::hasHeader(head))
      raise("Unable to read file '" + path + "': not a MAT file of version 5.");
    if (size > limits.fileBytes)
      raise("Unable to read file '" + path + "': it has " + std::to_string(size) +
            " bytes; a file of this kind has at most " + mat5::mebibytes(limits.fileBytes) + ".");
    // The structure is judged as the file is read, a piece at a time.
    std::string problem;
    declared = mat5::check(fd, size, limits, problem);
    if (!declared)
      raise(problem.empty() ? damaged : "Unable to read file '" + path + "': " + problem);
  }
  MatPtr mat(matio().Open(path.c_str(), MAT_ACC_RDONLY));
  if (!mat || matio().GetVersion(mat.get()) != MAT_FT_MAT5)
    raise("Unable to read file '" + path + "': not a MAT file of version 5.");
  // matio reads the headers first, without the data. Should it find arrays
  // the check did not see, or larger ones, it reads the bytes differently and
  // its data buffers would be sized from unchecked dimensions: refused.
  std::size_t index = 0;
  for (VarPtr info(matio().VarReadNextInfo(mat.get())); info;
       info.reset(matio().VarReadNextInfo(mat.get())), ++index)
    if (index >= declared->size() || declaredElements(info.get(), 0) > (*declared)[index])
      raise(damaged);
  if (index != declared->size() || matio().Rewind(mat.get()) != 0) raise(damaged);
  std::vector<NamedValue> out;
  while (true) {
    VarPtr var(matio().VarReadNext(mat.get()));
    if (!var) break;
    if (var->name == nullptr) raise("Unable to read file '" + path + "': a variable has no name.");
    try {
      out.emplace_back(var->name, fromMat(var.get(), 0));
    } catch (const Error& e) {
      raise("Unable to read file '" + path + "': " + e.what());
    }
  }
  if (declared->size() != out.size()) raise(damaged);
  return out;
}

}  // namespace dot11a

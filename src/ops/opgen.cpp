// Build-time generator: reads the operation table (operations.def) and writes
// the exported entry points of every operation (mlfX, mlxX, mlfNX, mlfVX), their
// public declarations, and the registered table that binds each operation to
// its implementation.
//
// An implementation is a function `void dot11a::op::NAME(dot11a::Call&)`. The
// binding list (binding.def) says where each one lives:
//  - not listed: in the layers below the GUI; the table refers to it by a plain
//    (strong) declaration, so a missing or renamed implementation fails to link;
//  - WINDOW: in the GUI component; the third output binds these into the table
//    at start-up and is compiled only into the GUI component, so a build without
//    Qt leaves them unbound and they answer "not available in this build";
//  - PENDING: not implemented yet; unbound, they answer "not available".
//
// With a fourth file it also writes a test that calls the mlfN and mlfV forms
// of every operation that has them once (see callFormsTest).
//
// usage: dot11a-opgen HEADER_OUT SOURCE_OUT WINDOW_BINDINGS_OUT [FORMS_TEST_OUT]
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int ANY = -1;
constexpr int ONE_PLUS = -2;
constexpr int NV_NONE = 0;
constexpr int NV_N = 1;
constexpr int NV_BOTH = 2;

struct Op {
  const char* name;
  int nin;
  int nout;
  int nv;
  int line;
};

const Op kOps[] = {
#define OP(name, nin, nout, nv, line) {#name, nin, nout, nv, line},
#include "operations.def"
#undef OP
};

enum class Binding { Table, Window, Pending };

struct Bound {
  const char* name;
  Binding binding;
};

const Bound kBindings[] = {
#define WINDOW(name) {#name, Binding::Window},
#define PENDING(name) {#name, Binding::Pending},
#include "binding.def"
#undef WINDOW
#undef PENDING
};

Binding bindingOf(const Op& op) {
  for (const Bound& b : kBindings)
    if (std::string(b.name) == op.name) return b.binding;
  return Binding::Table;
}

// Every name of the binding list is an operation of the table, listed once.
bool checkBindings() {
  bool ok = true;
  for (std::size_t i = 0; i < std::size(kBindings); ++i) {
    bool known = false;
    for (const Op& op : kOps) known = known || std::string(op.name) == kBindings[i].name;
    if (!known) {
      std::cerr << "dot11a-opgen: binding.def lists " << kBindings[i].name
                << ", which is not in operations.def\n";
      ok = false;
    }
    for (std::size_t j = 0; j < i; ++j)
      if (std::string(kBindings[j].name) == kBindings[i].name) {
        std::cerr << "dot11a-opgen: binding.def lists " << kBindings[i].name << " twice\n";
        ok = false;
      }
  }
  return ok;
}

std::string exported(const std::string& name) {
  std::string s = name;
  if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s;
}

// Parameter list of the outputs after the first (mlf form).
std::string outParams(const Op& op) {
  std::ostringstream s;
  if (op.nout == ANY) {
    s << "dot11a::Value* outputs";
  } else {
    for (int i = 2; i <= op.nout; ++i) {
      if (i > 2) s << ", ";
      s << "dot11a::Value* out" << i;
    }
  }
  return s.str();
}

std::string inParams(const Op& op) {
  std::ostringstream s;
  if (op.nin == ANY) {
    s << "const dot11a::Value* in1, ...";
  } else if (op.nin == ONE_PLUS) {
    s << "const dot11a::Value& in1, const dot11a::Value* in2, ...";
  } else {
    for (int i = 1; i <= op.nin; ++i) {
      if (i > 1) s << ", ";
      s << "const dot11a::Value& in" << i;
    }
  }
  return s.str();
}

std::string join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + ", " + b;
}

std::string returnType(const Op& op) {
  return op.nout == 0 ? "void" : "dot11a::Value";
}

std::string mlfSig(const Op& op) {
  return returnType(op) + " mlf" + exported(op.name) + "(" + join(outParams(op), inParams(op)) +
         ")";
}
std::string mlfNSig(const Op& op) {
  return returnType(op) + " mlfN" + exported(op.name) + "(" +
         join("int nargout", join(outParams(op), inParams(op))) + ")";
}
std::string mlfVSig(const Op& op) {
  return "void mlfV" + exported(op.name) + "(" + inParams(op) + ")";
}
std::string mlxSig(const Op& op) {
  return "void mlx" + exported(op.name) +
         "(int nlhs, dot11a::Value plhs[], int nrhs, const dot11a::Value prhs[])";
}

// Body statements that collect the inputs into `ins`.
std::string collectInputs(const Op& op) {
  std::ostringstream s;
  s << "  std::vector<dot11a::Value> ins;\n";
  if (op.nin == ANY) {
    s << "  va_list ap;\n  va_start(ap, in1);\n"
         "  for (const dot11a::Value* v = in1; v != nullptr; v = va_arg(ap, const "
         "dot11a::Value*))\n"
         "    ins.push_back(*v);\n  va_end(ap);\n";
  } else if (op.nin == ONE_PLUS) {
    s << "  ins.push_back(in1);\n  va_list ap;\n  va_start(ap, in2);\n"
         "  for (const dot11a::Value* v = in2; v != nullptr; v = va_arg(ap, const "
         "dot11a::Value*))\n"
         "    ins.push_back(*v);\n  va_end(ap);\n";
  } else {
    for (int i = 1; i <= op.nin; ++i) s << "  ins.push_back(in" << i << ");\n";
  }
  return s.str();
}

// Body of an mlf/mlfN form; `nargoutExpr` is how many outputs the call sees.
std::string mlfBody(const Op& op, int index, const std::string& nargoutExpr) {
  std::ostringstream s;
  s << collectInputs(op);
  s << "  const int nargout_ = " << nargoutExpr << ";\n";
  s << "  std::vector<dot11a::Value> outs = dot11a::detail::runEntry(" << index
    << ", nargout_, ins);\n";
  if (op.nout == ANY) {
    s << "  if (outputs != nullptr) *outputs = dot11a::Value::cellRow(outs);\n";
  } else {
    for (int i = 2; i <= op.nout; ++i)
      s << "  if (out" << i << " != nullptr && outs.size() >= " << i << ") *out" << i
        << " = std::move(outs[" << i - 1 << "]);\n";
  }
  if (op.nout != 0) s << "  return outs.empty() ? dot11a::Value() : std::move(outs[0]);\n";
  return s.str();
}

// A body inside the boundary's guard: statements indented one level more,
// every exception turned into the documented failure.
std::string guarded(const std::string& body) {
  std::string s = "  try {\n";
  std::size_t start = 0;
  while (start < body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    s += "  " + body.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return s + "  } catch (...) {\n    dot11a::detail::rethrowAsError();\n  }\n";
}

// The boundary of the entry points, written once into the generated source.
// Callers of an entry point catch dot11a::Error, the library's one failure
// type; whatever else escapes an operation (an allocation that fails, an
// exception of the standard library) becomes such an error with a text, so no
// other type leaves the library. Thread cancellation passes unchanged.
const char* const kBoundary = R"(namespace dot11a::detail {
namespace {
[[noreturn]] void rethrowAsError() {
  try {
    throw;
  } catch (const dot11a::Error&) {
    throw;
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw dot11a::Error("Out of memory.");
  } catch (const std::exception& e) {
    throw dot11a::Error(e.what());
  } catch (...) {
    throw dot11a::Error("An unknown error occurred inside the library.");
  }
}
}  // namespace
}  // namespace dot11a::detail

)";

std::string countFromPointers(const Op& op) {
  if (op.nout == 0) return "0";
  if (op.nout == ANY) return "dot11a::detail::outputListCount(outputs)";
  std::string e = "1";
  for (int i = 2; i <= op.nout; ++i) e += " + (out" + std::to_string(i) + " != nullptr)";
  return e;
}

// The GUI component's source that binds the window operations into the table.
std::string windowBindings() {
  std::ostringstream w;
  w << "// Generated by dot11a-opgen from the operation table. Do not edit.\n"
       "// Binds the window operations, implemented in the GUI component, into the\n"
       "// operation table when the library is loaded.\n"
       "#include \"dot11a/call.hpp\"\n#include \"ops/entry.hpp\"\n\n"
       "namespace dot11a::op {\n";
  for (const Op& op : kOps)
    if (bindingOf(op) == Binding::Window) w << "void " << op.name << "(dot11a::Call&);\n";
  w << "}  // namespace dot11a::op\n\nnamespace {\n"
       "const dot11a::detail::OpBinding kWindowBindings[] = {\n";
  for (std::size_t i = 0; i < std::size(kOps); ++i)
    if (bindingOf(kOps[i]) == Binding::Window)
      w << "    {" << i << ", &dot11a::op::" << kOps[i].name << "},\n";
  w << "    {" << std::size(kOps)
    << ", nullptr},  // end (out of range: ignored)\n"
       "};\nconst bool kBound = (dot11a::detail::bindOperations(kWindowBindings), true);\n"
       "}  // namespace\n";
  return w.str();
}

// A GoogleTest source that calls the mlfN and the mlfV form of every operation
// that has them once, with a probe bound in place of the operation
// (tests/gui/call_form_probe.hpp): the probe records the number of outputs and
// the inputs the form handed over and answers numbered outputs, which the test
// checks on the caller's side.
std::string callFormsTest() {
  std::ostringstream t;
  t << "// Generated by dot11a-opgen from the operation table. Do not edit.\n"
       "// Calls the mlfN and mlfV forms of every operation that has them, with a probe\n"
       "// in place of the operation: what the form hands over and what it gives back.\n"
       "#include <gtest/gtest.h>\n\n#include \"dot11a/entry_points.hpp\"\n"
       "#include \"gui/call_form_probe.hpp\"\n\n"
       "namespace {\n\nusing dot11a::Value;\n"
       "const Value* const kEnd = nullptr;  // ends a variable-length input list\n";
  for (std::size_t index = 0; index < std::size(kOps); ++index) {
    const Op& op = kOps[index];
    if (op.nv == NV_NONE) continue;
    const int nin = op.nin >= 0 ? op.nin : 2;
    const int nargout = op.nout == ANY ? 2 : std::min(op.nout, 2);
    std::string args;
    if (op.nin == ANY) {
      args = "&in[0], &in[1], kEnd";
    } else if (op.nin == ONE_PLUS) {
      args = "in[0], &in[1], kEnd";
    } else {
      for (int i = 0; i < nin; ++i) args += (i ? ", in[" : "in[") + std::to_string(i) + "]";
    }
    std::string outs;
    if (op.nout == ANY) {
      outs = "&list";
    } else {
      for (int i = 2; i <= op.nout; ++i)
        outs += (i > 2 ? ", " : "") + std::string(i == 2 ? "&o2" : "nullptr");
    }
    const std::string name = exported(op.name);
    t << "\nTEST(GeneratedCallForms, " << op.name << ") {\n"
      << "  dot11a::test::ProbeBinding probe(" << index << ");\n"
      << "  const std::vector<Value> in = dot11a::test::probeInputs(" << nin << ");\n";
    if (op.nout == ANY) t << "  Value list;\n";
    if (op.nout >= 2) t << "  Value o2;\n";
    t << "  " << (op.nout != 0 ? "const Value first = " : "") << "mlfN" << name << "(" << nargout
      << ", " << join(outs, args) << ");\n"
      << "  dot11a::test::expectSeen(\"" << op.name << "\", " << nargout << ", " << nin << ");\n";
    if (op.nout != 0) t << "  EXPECT_EQ(first, Value(1.0));\n";
    if (op.nout >= 2) t << "  EXPECT_EQ(o2, Value(2.0));\n";
    if (op.nout == ANY) t << "  EXPECT_EQ(list, Value::cellRow({Value(1.0), Value(2.0)}));\n";
    if (op.nv == NV_BOTH)
      t << "  mlfV" << name << "(" << args << ");\n"
        << "  dot11a::test::expectSeen(\"" << op.name << "\", 0, " << nin << ");\n";
    t << "}\n";
  }
  t << "\n}  // namespace\n";
  return t.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::cerr << "usage: dot11a-opgen HEADER_OUT SOURCE_OUT WINDOW_BINDINGS_OUT "
                 "[FORMS_TEST_OUT]\n";
    return 2;
  }
  if (!checkBindings()) return 1;
  std::ostringstream h;
  h << "// Generated by dot11a-opgen from the operation table. Do not edit.\n"
       "// The exported entry points of every operation of the library.\n"
       "//\n"
       "// The entry points have C names (no mangling) but C++ signatures: they take\n"
       "// and return dot11a::Value and report a failure as a dot11a::Error\n"
       "// exception, so only C++ callers can use them.\n"
       "#pragma once\n\n#include \"dot11a/export.hpp\"\n#include \"dot11a/value.hpp\"\n\n"
       "#if defined(__clang__)\n#pragma clang diagnostic push\n"
       "#pragma clang diagnostic ignored \"-Wreturn-type-c-linkage\"\n#endif\n\n"
       "extern \"C\" {\n\n";
  std::ostringstream c;
  c << "// Generated by dot11a-opgen from the operation table. Do not edit.\n"
       "#include <cxxabi.h>\n\n#include <cstdarg>\n#include <exception>\n#include <new>\n"
       "#include <utility>\n#include <vector>\n\n"
       "#include \"dot11a/call.hpp\"\n#include \"dot11a/entry_points.hpp\"\n"
       "#include \"ops/entry.hpp\"\n\n"
       "namespace dot11a::op {\n";
  for (const Op& op : kOps)
    if (bindingOf(op) == Binding::Table) c << "void " << op.name << "(dot11a::Call&);\n";
  c << "}  // namespace dot11a::op\n\nnamespace dot11a::detail {\n"
       "// Window operations are bound by the GUI component; pending ones by nobody.\n"
       "constinit OpInfo kOperationTable[] = {\n";
  for (const Op& op : kOps) {
    c << "    {\"" << op.name << "\", " << op.nin << ", " << op.nout << ", " << op.line << ", \""
      << op.name << "\", ";
    switch (bindingOf(op)) {
      case Binding::Table:
        c << "&dot11a::op::" << op.name << "},\n";
        break;
      case Binding::Window:
        c << "nullptr},  // window operation\n";
        break;
      case Binding::Pending:
        c << "nullptr},  // pending\n";
        break;
    }
  }
  c << "};\nconst std::size_t kOperationCount = " << std::size(kOps)
    << ";\n}  // namespace dot11a::detail\n\n";

  c << kBoundary;
  int index = 0;
  for (const Op& op : kOps) {
    h << "// " << op.name << "\n";
    h << "DOT11A_API " << mlfSig(op) << ";\n"
      << "DOT11A_API " << mlxSig(op) << ";\n";
    c << "extern \"C\" " << mlfSig(op) << " {\n"
      << guarded(mlfBody(op, index, countFromPointers(op))) << "}\n\n";
    c << "extern \"C\" " << mlxSig(op) << " {\n"
      << guarded("  dot11a::detail::runMlx(" + std::to_string(index) +
                 ", nlhs, plhs, nrhs, prhs);\n")
      << "}\n\n";
    if (op.nv != NV_NONE) {
      h << "DOT11A_API " << mlfNSig(op) << ";\n";
      c << "extern \"C\" " << mlfNSig(op) << " {\n"
        << guarded(mlfBody(op, index, "nargout")) << "}\n\n";
    }
    if (op.nv == NV_BOTH) {
      h << "DOT11A_API " << mlfVSig(op) << ";\n";
      std::string body = collectInputs(op) + "  dot11a::detail::runEntry(" + std::to_string(index) +
                         ", 0, ins);\n";
      c << "extern \"C\" " << mlfVSig(op) << " {\n" << guarded(body) << "}\n\n";
    }
    h << "\n";
    ++index;
  }
  h << "}  // extern \"C\"\n\n#if defined(__clang__)\n#pragma clang diagnostic pop\n#endif\n";

  std::ofstream hf(argv[1]), cf(argv[2]), wf(argv[3]);
  hf << h.str();
  cf << c.str();
  wf << windowBindings();
  if (argc == 5) {
    std::ofstream tf(argv[4]);
    tf << callFormsTest();
    if (!tf) {
      std::cerr << "dot11a-opgen: cannot write the generated files\n";
      return 1;
    }
  }
  if (!hf || !cf || !wf) {
    std::cerr << "dot11a-opgen: cannot write the generated files\n";
    return 1;
  }
  return 0;
}

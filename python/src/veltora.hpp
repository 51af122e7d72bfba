// The pieces of the Python module that are plain C++: a frame job from
// synthesize()'s keywords and the waveform it makes, and conversions between
// library values, JSON reports and Python objects.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "dot11a/job_options.hpp"
#include "dot11a/value.hpp"
#include "dot11a/waveform.hpp"

namespace veltora {

namespace py = pybind11;

// What synthesize() asks for beside the frame job: files to write, as
// dot11a-gen's -o (with --mat) and --save-params write them.
struct Outputs {
  std::string output;
  std::string mat = "samples";
  std::string saveParams;
  // The generator's set level in dBm: the result then holds the levels.
  std::optional<double> power;
};

// The job of the keywords, its waveform, and the preset it follows.
struct Made {
  dot11a::FrameJob job;
  std::optional<dot11a::ReceiverTest> test;
  dot11a::Waveform waveform;
};
// Raises dot11a::Error naming the keyword that is wrong.
Made make(const dot11a::JobOptions& options, const Outputs& outputs);

// JSON (a receiver report) as dicts, lists, numbers, texts and None.
py::object fromJson(const nlohmann::json& j);

// Python objects as library values for a call by name, and back. Lists and
// dicts nested deeper than dot11a::kMaxValueNesting raise dot11a::Error; an
// argument is at depth 1, as a JSON argument of dot11a-call is.
dot11a::Value toValue(py::handle h, int depth = 1);
py::object fromValue(const dot11a::Value& v);

// Keyword values as dot11a-gen's options take them. numbersOf: a number or
// a tuple or list of numbers (`given`: as the command line writes them);
// impairmentKeyword: numbers or dot11a-gen's text for impairment `option`;
// formText: a text form ("exp:50"); seedOf: 0 .. 2^64-1 as an int or text.
// Each raises dot11a::Error naming the keyword.
std::vector<double> numbersOf(py::handle h, const char* name, std::string& given);
void impairmentKeyword(dot11a::JobOptions& o, py::handle h, std::string_view option);
std::optional<std::string> formText(py::handle h, const char* name);
std::uint64_t seedOf(py::handle h);

// The PER bench: per_curve's pieces (python/src/per.cpp).
void bindPer(py::module_& m);

}  // namespace veltora

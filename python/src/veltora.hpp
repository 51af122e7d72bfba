// The pieces of the Python module that are plain C++: a frame job from
// synthesize()'s keywords and the waveform it makes, and conversions between
// library values, JSON reports and Python objects.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

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

}  // namespace veltora

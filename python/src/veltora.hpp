// The pieces of the Python module that are plain C++: a frame or a
// receiver-test waveform made from synthesize()'s keywords, and conversions
// between library values, JSON reports and Python objects.
#pragma once

#include <pybind11/pybind11.h>

#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dot11a/frame_layout.hpp"
#include "dot11a/generator_options.hpp"
#include "dot11a/receiver_test.hpp"
#include "dot11a/synthesis.hpp"
#include "dot11a/value.hpp"

namespace veltora {

namespace py = pybind11;

// A frame made from a parameter set, with what the caller is told about it.
struct Synthesis {
  dot11a::Frame frame;
  double sampleRate = 0;
  dot11a::FrameLayout layout;
  std::vector<std::uint8_t> psdu;  // octets, the first bit in the LSB
  std::string description;         // "54 Mbit/s, 64-QAM, coding 3/4"
  bool fcs = false;
};
Synthesis synthesize(const dot11a::Value& parameters);

// synthesize()'s keywords: the frame settings by dot11a-gen's names, and the
// sequence and impairment options as dot11a-gen's texts.
struct FrameRequest {
  std::vector<dot11a::NamedOption> settings;
  dot11a::ImpairOptions impairments;  // with OptionSpelling::Keyword
  std::optional<double> frequency;    // the carrier, for cfo_ppm
};
// The clean frame, and the waveform of the sequence and impairments when the
// request asks for one (then `frame` is its first frame without impairments).
struct Made {
  Synthesis frame;
  std::optional<dot11a::ReceiverTest> test;
  std::optional<dot11a::ReceiverTestWaveform> waveform;
};
// Raises dot11a::Error naming the keyword that is wrong.
Made make(const FrameRequest& request);

// JSON (a receiver report) as dicts, lists, numbers, texts and None.
py::object fromJson(const nlohmann::json& j);

// Python objects as library values for a call by name, and back. Lists and
// dicts nested deeper than dot11a::kMaxValueNesting raise dot11a::Error; an
// argument is at depth 1, as a JSON argument of dot11a-call is.
dot11a::Value toValue(py::handle h, int depth = 1);
py::object fromValue(const dot11a::Value& v);

}  // namespace veltora

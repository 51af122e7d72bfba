// The pieces of the Python module that are plain C++: the keyword settings of
// a frame turned into the parameter set and synthesised, and conversions
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
#include "dot11a/synthesis.hpp"
#include "dot11a/value.hpp"

namespace veltora {

namespace py = pybind11;

// The settings synthesize() takes, named after dot11a-gen's options; an empty
// optional keeps the value of the starting parameter set.
struct FrameRequest {
  std::string params;  // parameter file to start from (empty: the defaults)
  std::optional<double> rate;
  std::optional<std::string> modulation;
  std::optional<std::string> coding;
  bool unframed = false;
  std::optional<double> length;
  std::optional<std::string> source;
  std::optional<bool> macHeader;
  std::optional<bool> fcs;
  std::optional<double> scramblerInit;
  std::optional<bool> scrambler;
  std::optional<bool> interleaver;
  std::optional<double> service;
  std::optional<double> oversampling;
  std::optional<double> window;
  std::optional<double> idleUs;
  bool mirror = false;
  std::optional<std::vector<double>> mask;  // 53 entries, sub-carriers -26 .. 26
};

// The parameter set the request describes, checked against the parameter
// bounds; raises dot11a::Error naming the keyword.
dot11a::Value parameterSet(const FrameRequest& r);

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

// JSON (a receiver report) as dicts, lists, numbers, texts and None.
py::object fromJson(const nlohmann::json& j);

// Python objects as library values for a call by name, and back.
dot11a::Value toValue(py::handle h);
py::object fromValue(const dot11a::Value& v);

}  // namespace veltora

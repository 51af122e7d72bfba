// The operations of shaping (phy): Value adapters over the typed functions.
#include <fftw3.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include "dot11a/call.hpp"
#include "dot11a/error.hpp"
#include "dot11a/synthesis.hpp"
#include "ops/adapt.hpp"

namespace dot11a {

namespace op {

void dot11a_Oversample(Call& c) {
  c.outputNames({"output"});
  const std::size_t n = c.nargin();
  if (n < 2 || n > 4) {
    c.out(0) = Value::empty();
    return;
  }
  const auto input = c.in(0, "input").toComplex();
  const int os = adapt::oversampling(c.in(1, "oversamplingRate"));
  const bool dac = n >= 3 ? c.in(2, "DACcompensate").truthy() : true;
  const int method = n >= 4 ? adapt::wholeNumber(c.in(3, "stdMethod"), "stdMethod", 1, 2) : 1;
  Value out = adapt::row(oversample(input, os, dac, method));
  if (!c.in(0, "input").isComplex()) out.dropZeroImag();
  c.out(0) = std::move(out);
}

void sincCompensation(Call& c) {
  c.outputNames({"x"});
  Value y = c.in(0, "y");
  if (!y.isDouble())
    raise("sincCompensation: \"y\" must be a numeric row, not " + y.describe() + ".");
  auto g = sincCompensationGains(y.numel());
  auto re = y.mutRe();
  for (std::size_t i = 0; i < re.size(); ++i) re[i] *= g[i];
  if (y.isComplex()) {
    auto im = y.mutIm();
    for (std::size_t i = 0; i < im.size(); ++i) im[i] *= g[i];
  }
  c.out(0) = std::move(y);
}

void sinc(Call& c) {
  c.outputNames({"y"});
  Value x = c.in(0, "x");
  if (!x.isDouble() || x.isComplex())
    raise("sinc: \"x\" must be a real numeric value, not " + x.describe() + ".");
  for (double& v : x.mutRe()) v = dot11a::sinc(v);
  c.out(0) = std::move(x);
}

void dot11a_Windowing(Call& c) {
  c.outputNames({"output"});
  const auto data = c.in(0, "data").toComplex();
  const int w = adapt::windowLength(c.in(1, "windowLength"));
  const double cp = c.in(2, "cpRatio").toScalar();
  c.out(0) = adapt::row(windowing(data, w, cp));
}

void dot11a_StitchSubFrames(Call& c) {
  c.outputNames({"output"});
  const auto a = c.in(0, "a").toComplex();
  const auto b = c.in(1, "b").toComplex();
  const int w = adapt::windowLength(c.in(2, "windowLength"));
  Value out = adapt::row(stitchSubFrames(a, b, w));
  if (!c.in(0, "a").isComplex() && !c.in(1, "b").isComplex()) out.dropZeroImag();
  c.out(0) = std::move(out);
}

}  // namespace op

}  // namespace dot11a

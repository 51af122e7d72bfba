// The rate table, the frame layout and the parameter bounds: one fact each,
// and every user of it agreeing with the others.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/library_fixture.hpp"
#include "dot11a/files.hpp"
#include "dot11a/frame_layout.hpp"
#include "dot11a/parameter_bounds.hpp"
#include "dot11a/parameters.hpp"
#include "dot11a/size_estimate.hpp"
#include "dot11a/synthesis.hpp"

using dot11a::Value;

namespace {

class FrameModel : public dot11a::test::LibraryTest {};

// The size estimate of a parameter set is the length of its calculated frame.
TEST_F(FrameModel, SizeEstimateIsTheCalculatedLength) {
  Value p = dot11a::defaultParameters();
  for (double os : {1.0, 3.0})
    for (double window : {0.0, 5.0})
      for (double header : {0.0, 1.0}) {
        p.setField("OverSampling", os);
        p.setField("WindowingLength", window);
        p.field("MACheader").setField("Active", header);
        p.setField("dataLength", 200.0 + window);
        dot11a::updateDerivedFields(p);
        EXPECT_EQ(static_cast<double>(dot11a::sizeEstimate(p)),
                  static_cast<double>(dot11a::calculateFrame(p).waveform.numel()));
      }
}

// The parameter-file checks accept each bound and refuse what lies just
// beyond it.
TEST(ParameterBounds, FileChecksFollowTheTable) {
  const Value reference = dot11a::defaultParameters();
  for (const dot11a::ParameterBound& b : dot11a::parameterBounds()) {
    SCOPED_TRACE(std::string(b.field));
    ASSERT_TRUE(reference.hasField(b.field));
    for (double ok : {b.storedLo, b.hi}) {
      Value p = reference;
      p.setField(b.field, ok);
      if (std::string(b.field) == "dataSourceType" && ok == 7) {
        // A user file source must carry its octets.
        p.setField("dataSourceBitstream", Value::row(std::vector<double>(8, 1.0)));
        p.setField("dataLength", 1.0);
      }
      EXPECT_EQ(dot11a::parameterSetProblem(p, reference), "");
    }
    for (double bad : {b.storedLo - 1, b.hi + 1}) {
      Value p = reference;
      p.setField(b.field, bad);
      // The refusal names the field and the value it holds.
      const std::string problem = dot11a::parameterSetProblem(p, reference);
      EXPECT_EQ(problem.rfind("fileParameters." + std::string(b.field) + " is ", 0), 0u) << problem;
      EXPECT_NE(problem.find(", not "), std::string::npos) << problem;
    }
  }
}

}  // namespace

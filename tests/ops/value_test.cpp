// Array values: shapes, copy-on-write, records, the truth rule and JSON.
#include <gtest/gtest.h>

#include "common/library_fixture.hpp"
#include "dot11a/error.hpp"
#include "dot11a/json.hpp"
#include "dot11a/value.hpp"

using dot11a::Value;

TEST(Value, AbsentIsNotEmptyAndTruthRule) {
  EXPECT_TRUE(Value().isAbsent());
  EXPECT_FALSE(Value::empty().isAbsent());
  EXPECT_TRUE(Value::empty().isEmpty());
  EXPECT_FALSE(Value::empty().truthy());
  EXPECT_FALSE(Value().truthy());
  EXPECT_TRUE(Value::row({1, 2, 3}).truthy());
  EXPECT_FALSE(Value::row({1, 0, 3}).truthy());
  EXPECT_TRUE(Value(dot11a::cplx(0, 1)).truthy());
  EXPECT_TRUE(Value("on").truthy());
  EXPECT_FALSE(Value("").truthy());
  EXPECT_THROW((void)Value::record().truthy(), dot11a::Error);
}

TEST(Value, CopiesAreIndependent) {
  Value a = Value::row({1, 2, 3});
  Value b = a;
  b.mutRe()[1] = 9;
  EXPECT_EQ(a.real(1), 2);
  EXPECT_EQ(b.real(1), 9);
  Value r = Value::record({{"inner", Value::record({{"x", Value(1.0)}})}});
  Value r2 = r;
  r2.field("inner").field("x") = Value(5.0);
  EXPECT_EQ(r.field("inner").field("x"), Value(1.0));
}

TEST(Value, RecordsKeepFieldOrderAndNameMissingFields) {
  Value r;
  r.setField("b", Value(1.0));
  r.setField("a", Value("x"));
  r.setField("b", Value(2.0));
  EXPECT_EQ(r.fieldNames(), (std::vector<std::string>{"b", "a"}));
  try {
    (void)std::as_const(r).field("missing");
    FAIL();
  } catch (const dot11a::Error& e) {
    EXPECT_NE(std::string(e.what()).find("missing"), std::string::npos);
  }
  EXPECT_NE(r, Value::record({{"a", Value("x")}, {"b", Value(2.0)}}));
}

TEST(Value, IndexAndShapeChecks) {
  Value v = Value::matrix(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(v.rows(), 2u);
  EXPECT_EQ(v.real(5), 6);
  EXPECT_THROW((void)v.real(6), dot11a::Error);
  EXPECT_THROW(Value::matrix(2, 2, {1, 2, 3}), dot11a::Error);
  EXPECT_THROW(v.reshape(4, 2), dot11a::Error);
  v.reshape(3, 2);
  EXPECT_EQ(v.rows(), 3u);
  EXPECT_THROW((void)Value::empty().toScalar(), dot11a::Error);
}

TEST(Json, RoundTripsEveryKind) {
  const char* texts[] = {
      "1",
      "[1,0,1]",
      "[[1,2],[3,4],[5,6]]",
      "{\"re\":[1,2],\"im\":[0.5,-1]}",
      "{\"int32\":7}",
      "\"hello\"",
      "{\"b\":1,\"a\":[1,2],\"c\":{\"d\":\"x\"}}",
      "[\"a\",1,[1,2]]",
      "null",
      "[]",
      "0.66666666666666663",
  };
  for (const char* t : texts) EXPECT_EQ(dot11a::valueToJson(dot11a::valueFromJson(t)), t) << t;
  const Value m = dot11a::valueFromJson("[[1,2],[3,4]]");
  EXPECT_EQ(m.real(1), 3);  // column-major: second element is row 2, column 1
  EXPECT_EQ(dot11a::valueFromJson("{\"x\":1}").fieldNames(), std::vector<std::string>{"x"});
  EXPECT_THROW(dot11a::valueFromJson("[1,"), dot11a::Error);
}

// Nesting is read one level per call: a hostile depth is an error, not a
// stack overflow, while any depth a value of the library has reads back.
TEST(Json, RefusesNestingDeeperThanItsLimit) {
  const auto nested = [](const std::string& open, const std::string& close, int depth) {
    std::string t;
    for (int i = 0; i < depth; ++i) t += open;
    t += "1";
    for (int i = 0; i < depth; ++i) t += close;
    return t;
  };
  const Value ok = dot11a::valueFromJson(nested("[\"a\",", "]", 250));
  EXPECT_TRUE(ok.isCell());
  for (const std::string& deep :
       {nested("[", "]", 30000), nested("{\"a\":", "}", 30000), nested("[\"a\",", "]", 300)})
    EXPECT_NE(dot11a::test::errorOf([&] {
                dot11a::valueFromJson(deep);
              }).find("more than 256 levels deep"),
              std::string::npos);
}

// Waveform export: the 16-bit sample file, containers read by SciPy, SigMF
// recordings, PCAP captures; record comparison and time stamps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "common/test_folder.hpp"
#include "dot11a/call.hpp"
#include "dot11a/files.hpp"
#include "dot11a/matfile.hpp"
#include "dot11a/parameters.hpp"

namespace fs = std::filesystem;
using namespace dot11a;
using cd = std::complex<double>;

namespace {

class ExportTest : public test::FolderTest {
 protected:
  ExportTest() : FolderTest("export") {}
};

TEST_F(ExportTest, SaveZenfoldWaveformReportsThroughItsResult) {
  const Value v = Value::row(std::vector<cd>{{1, 0.5}, {-1, -1}});
  EXPECT_EQ(feval1("saveZenfoldWaveform", {v, Value(path("w.bin"))}).toScalar(), 1.0);
  EXPECT_EQ(fs::file_size(path("w.bin")), 8u);
  EXPECT_EQ(feval1("saveZenfoldWaveform", {v, Value(path("none/w.bin"))}).toScalar(), 0.0);
  EXPECT_EQ(feval1("saveZenfoldWaveform", {}).toScalar(), 0.0);
  EXPECT_EQ(
      feval1("saveZenfoldWaveform", {v, Value(path("x.bin")), Value(1.0), Value(2.0)}).toScalar(),
      0.0);
  EXPECT_FALSE(fs::exists(path("x.bin")));
}

TEST_F(ExportTest, ContainersReadInScipyWithTheirLayout) {
  const char* python = "/usr/bin/python3";
  if (std::system((std::string(python) + " -c 'import scipy.io' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "/usr/bin/python3 with scipy is not installed";
  const std::vector<cd> s = {{0.25, -0.5}, {1, 0}, {-0.125, 0.75}};
  writeSamplesContainer(path("mat.mat"), s, false);
  writeSamplesContainer(path("ascii.mat"), s, true);
  writeSaveWaveContainer(path("wave.txt"), s, 40e6);
  writeParameterFile(path("p.mat"), defaultParameters());
  const std::string script = path("check.py");
  std::ofstream(script) << R"(import sys, numpy as np, scipy.io as sio
d = sys.argv[1]
m = sio.loadmat(d + '/mat.mat')['samples']
assert m.shape == (3, 1) and np.iscomplexobj(m) and m.dtype == np.complex128, (m.shape, m.dtype)
assert np.allclose(m[:, 0], [0.25-0.5j, 1, -0.125+0.75j])
a = sio.loadmat(d + '/ascii.mat')['samples']
assert a.shape == (3, 2) and a.dtype == np.float64 and np.allclose(a[:, 1], [-0.5, 0, 0.75])
w = sio.loadmat(d + '/wave.txt', appendmat=False)
assert w['samplePoints'][0, 0] == 3 and w['sampleRate'][0, 0] == 40e6
assert w['wave'].shape == (2, 3) and np.allclose(w['wave'][0], [0.25, 1, -0.125])
p = sio.loadmat(d + '/p.mat')['fileParameters'][0, 0]
assert p['ParameterFileFormat_ID'][0] == 'dot11a - Format 1.0'
assert p['SubCarriers'].shape == (1, 53)
assert list(p.dtype.names)[:3] == ['ParameterFileFormat_ID', 'generationMode', 'dataRate']
assert p['MACheader']['Length'][0, 0][0, 0] == 30
sio.savemat(d + '/fromscipy.mat', {'x': np.array([[1.5, 2.5]]), 's': 'hi',
            'r': {'a': 1.0, 'b': 'txt'}, 'c': np.array([1 + 2j]), 'b': np.array([True, False]),
            'sa': np.array([[(1.0, 'x'), (2.0, 'y')]], dtype=[('v', object), ('w', object)]),
            'cc': np.array([[1.0, 'two', np.array([[3.0, 4.0]])]], dtype=object), 'e': {}})
)";
  ASSERT_EQ(std::system((std::string(python) + " " + script + " " + dir.string()).c_str()), 0);
  const auto vars = readMatFile(path("fromscipy.mat"));
  std::map<std::string, Value> byName(vars.begin(), vars.end());
  EXPECT_EQ(byName["x"], Value::row({1.5, 2.5}));
  EXPECT_EQ(byName["s"].str(), "hi");
  EXPECT_EQ(byName["r"].field("b").str(), "txt");
  EXPECT_EQ(byName["c"].complexAt(0), cd(1, 2));
  EXPECT_EQ(byName["b"].toDoubles(), (std::vector<double>{1, 0}));
  // A record array, a cell list and a record without fields.
  ASSERT_EQ(byName["sa"].numel(), 2u);
  EXPECT_EQ(byName["sa"].cellAt(1).field("w").str(), "y");
  ASSERT_EQ(byName["cc"].numel(), 3u);
  EXPECT_EQ(byName["cc"].cellAt(2), Value::row({3, 4}));
  EXPECT_TRUE(byName["e"].isRecord());
}

TEST_F(ExportTest, CompareStructFollowsFieldOrderShapeAndNan) {
  auto cmp = [](const Value& a, const Value& b) {
    return feval1("compareStruct", {a, b}).toScalar();
  };
  Value p = defaultParameters();
  Value copy = p;
  EXPECT_EQ(cmp(p, copy), 1.0);
  copy.field("MACheader").field("Contents") = Value::record({{"x", Value(1.0)}});
  EXPECT_EQ(cmp(p, copy), 0.0);
  EXPECT_EQ(cmp(Value(1.0), Value(1.0)), 0.0);
  EXPECT_EQ(cmp(Value::record(), Value::record()), 1.0);
  const Value row = Value::record({{"a", Value::row({1, 2})}});
  const Value col = Value::record({{"a", Value::column({1, 2})}});
  EXPECT_EQ(cmp(row, col), 0.0);
  const Value ab = Value::record({{"a", Value(1.0)}, {"b", Value(2.0)}});
  const Value ba = Value::record({{"b", Value(2.0)}, {"a", Value(1.0)}});
  EXPECT_EQ(cmp(ab, ba), 0.0);
  EXPECT_EQ(cmp(Value::record({{"e", Value::empty()}}), Value::record({{"e", Value("")}})), 1.0);
  EXPECT_EQ(cmp(Value::record({{"e", Value("1")}}), Value::record({{"e", Value(49.0)}})), 0.0);
  const Value nan = Value::record({{"n", Value(std::numeric_limits<double>::quiet_NaN())}});
  EXPECT_EQ(cmp(nan, nan), 0.0);
}

TEST_F(ExportTest, Clock2strFormatsTheTimeStamp) {
  EXPECT_EQ(feval1("clock2str", {Value::row({2002, 5, 28, 23, 59, 41.7})}).str(),
            "28MAY2002 23:59:41");
  EXPECT_EQ(feval1("clock2str", {Value::row({2026, 12, 7, 4, 5, 9})}).str(), "07DEC2026 4:05:09");
}

}  // namespace

// The raw sample reader: cf32 read as floats holds the values of the double
// read, however the bytes arrive, and a selection of a file is the same
// samples either way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "common/test_folder.hpp"
#include "dot11a/sample_stream.hpp"

namespace dot11a {
namespace {

class SampleStream : public test::FolderTest {
 protected:
  SampleStream() : FolderTest("samples") {}
};

std::vector<std::complex<float>> someSamples(std::size_t n) {
  std::vector<std::complex<float>> x(n);
  for (std::size_t i = 0; i < n; ++i)
    x[i] = {0.001f * static_cast<float>(i) - 0.3f, -1e-7f * static_cast<float>(i * i)};
  return x;
}

// A pipe that delivers a sample in pieces: each read hands out the whole
// samples that have arrived and keeps the start of the next for later.
TEST_F(SampleStream, FloatsFromAPipeKeepTheSampleAReadCutAndRefuseAHalfOneAtTheEnd) {
  const std::vector<std::complex<float>> x = someSamples(6);
  const auto* bytes = reinterpret_cast<const char*>(x.data());
  const std::string fifo = path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Opened for writing first (read-write does not wait for a reader), so
  // that the reader's open does not wait either: one thread does both.
  const int w = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(w, 0);
  SampleReader reader(fifo, SampleFormat::Cf32);
  std::vector<std::complex<float>> got, chunk(100);
  std::size_t sent = 0;
  for (const std::size_t piece : {13, 11, 8, 5}) {  // 1 sample + 5 bytes, 2, 1, 5 bytes
    ASSERT_EQ(::write(w, bytes + sent, piece), static_cast<ssize_t>(piece));
    sent += piece;
    if (sent % 8 != 0 && sent > 13) break;  // no whole sample to read: it would wait
    const auto n = reader.read(chunk);
    ASSERT_TRUE(n);
    got.insert(got.end(), chunk.begin(), chunk.begin() + static_cast<long>(*n));
  }
  ASSERT_EQ(got.size(), 4u);
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], x[i]) << i;
  ::close(w);  // the stream ends 5 bytes into a sample
  EXPECT_THROW(
      {
        try {
          reader.read(chunk);
        } catch (const std::runtime_error& e) {
          EXPECT_NE(std::string(e.what()).find("ends in the middle of a sample (5 bytes"),
                    std::string::npos)
              << e.what();
          throw;
        }
      },
      std::runtime_error);
}

TEST_F(SampleStream, ASelectionOfAFileIsTheSameSamplesAsFloatsAndAsDoubles) {
  const std::vector<std::complex<float>> x = someSamples(1000);
  std::ofstream(path("x.cf32"), std::ios::binary)
      .write(reinterpret_cast<const char*>(x.data()), static_cast<std::streamsize>(8 * x.size()));
  SampleReader floats(path("x.cf32"), SampleFormat::Cf32, 100, 333);
  SampleReader doubles(path("x.cf32"), SampleFormat::Cf32, 100, 333);
  std::vector<std::complex<float>> f, chunkF(64);
  std::vector<std::complex<double>> d, chunkD;
  while (const auto n = floats.read(chunkF))
    f.insert(f.end(), chunkF.begin(), chunkF.begin() + static_cast<long>(*n));
  while (doubles.read(chunkD, 64)) d.insert(d.end(), chunkD.begin(), chunkD.end());
  ASSERT_EQ(f.size(), 333u);
  ASSERT_EQ(d.size(), f.size());
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i], x[100 + i]) << i;
    EXPECT_EQ(d[i], std::complex<double>(f[i])) << i;
  }
  // Integer samples are scaled in double precision only.
  SampleReader ints(path("x.cf32"), SampleFormat::Ci16);
  EXPECT_THROW(ints.read(chunkF), std::logic_error);
}

}  // namespace
}  // namespace dot11a

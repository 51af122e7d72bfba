// The raw sample reader: cf32 read as floats holds the values of the double
// read, however the bytes arrive, a selection of a file is the same samples
// either way, and so is a file read in place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <span>

#include "common/test_folder.hpp"
#include "dot11a/sample_stream.hpp"

namespace dot11a {
namespace {

class SampleStream : public test::TempFolderTest {
 protected:
  SampleStream() : TempFolderTest("samples") {}
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

// In place: the samples of a file come from its mapped windows (here more
// than one, from a selection that starts inside a page) in the pieces a
// plain read gives, including what was written after the file was opened.
TEST_F(SampleStream, InPlaceReadsGiveTheSamplesAndPiecesOfAPlainRead) {
  const std::vector<std::complex<float>> x = someSamples(700001);
  const std::string file = path("x.cf32");
  const auto write = [&](std::size_t from, std::size_t to, std::ios::openmode mode) {
    std::ofstream(file, std::ios::binary | mode)
        .write(reinterpret_cast<const char*>(x.data() + from),
               static_cast<std::streamsize>(8 * (to - from)));
  };
  write(0, 600000, std::ios::trunc);
  for (const std::optional<std::uint64_t> count :
       {std::optional<std::uint64_t>(612345), std::optional<std::uint64_t>()}) {
    SampleReader mapped(file, SampleFormat::Cf32, 3, count),
        plain(file, SampleFormat::Cf32, 3, count);
    if (!count) write(600000, x.size(), std::ios::app);  // grows after opening
    std::vector<std::complex<float>> got, chunk(65537);
    std::size_t pieces = 0;
    while (const auto in = mapped.readInPlace(chunk.size())) {
      const auto n = plain.read(chunk);
      ASSERT_TRUE(n);
      ASSERT_EQ(in->size(), *n) << "piece " << pieces;
      got.insert(got.end(), in->begin(), in->end());
      ++pieces;
    }
    EXPECT_FALSE(plain.read(chunk));
    ASSERT_EQ(got.size(), count ? 600000u - 3 : x.size() - 3);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), x.begin() + 3));
  }
  // As many as there are, however many are asked for.
  SampleReader all(file, SampleFormat::Cf32);
  const auto in = all.readInPlace(std::numeric_limits<std::size_t>::max());
  ASSERT_TRUE(in);
  EXPECT_EQ(in->size(), x.size());
  EXPECT_FALSE(all.readInPlace(1));
}

// A file cut short while its window is mapped: the reader reports it at the
// next read instead of the process ending on SIGBUS; a pipe reads in place
// through the reader's own buffer.
TEST_F(SampleStream, InPlaceReadOfAFileCutShortReportsItAndAPipeReadsToo) {
  const std::vector<std::complex<float>> x = someSamples(200000);
  const std::string file = path("cut.cf32");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(x.data()), static_cast<std::streamsize>(8 * x.size()));
  SampleReader reader(file, SampleFormat::Cf32);
  const auto first = reader.readInPlace(1000);
  ASSERT_TRUE(first);
  EXPECT_EQ((*first)[999], x[999]);
  ASSERT_EQ(::truncate(file.c_str(), 8 * 1000), 0);
  std::string error;
  try {
    // Reading on touches pages beyond the new end, which read as zeros.
    while (const auto in = reader.readInPlace(50000))
      for (const auto& v : *in) EXPECT_EQ(v, std::complex<float>(0.0f, 0.0f));
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  EXPECT_NE(error.find("became shorter while it was read"), std::string::npos) << error;

  const std::string fifo = path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int w = ::open(fifo.c_str(), O_RDWR);
  ASSERT_GE(w, 0);
  SampleReader piped(fifo, SampleFormat::Cf32);
  ASSERT_EQ(::write(w, x.data(), 8 * 10), 80);
  const auto in = piped.readInPlace(100);
  ASSERT_TRUE(in);
  ASSERT_EQ(in->size(), 10u);
  EXPECT_TRUE(std::equal(in->begin(), in->end(), x.begin()));
  ::close(w);
  EXPECT_FALSE(piped.readInPlace(100));
  SampleReader ints(file, SampleFormat::Ci16);
  EXPECT_THROW(ints.readInPlace(10), std::logic_error);
}

// A file cut short between reads, whichever way it is read (in place, as
// floats, as integers, a selection of it): the reader says it became
// shorter instead of ending as if the file were whole. A file still being
// written, whose last append stops inside a sample, is read to its last
// whole sample.
TEST_F(SampleStream, FileCutShortFailsAndAGrowingFileEndsAtItsLastWholeSample) {
  const std::vector<std::complex<float>> x = someSamples(1200000);
  const std::string file = path("f.cf32");
  const auto bytes = reinterpret_cast<const char*>(x.data());
  auto cut = [&](std::size_t keep, auto readAll, std::optional<std::uint64_t> count) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes, static_cast<std::streamsize>(8 * x.size()));
    SampleReader r(file, SampleFormat::Cf32, 0, count);
    const std::size_t before = readAll(r, true);
    EXPECT_GT(before, 0u);
    ASSERT_EQ(::truncate(file.c_str(), static_cast<off_t>(8 * keep)), 0);
    std::string error;
    try {
      readAll(r, false);
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    EXPECT_NE(error.find("became shorter while it was read"), std::string::npos)
        << keep << ": " << error;
  };
  // In place: the cut lies beyond the window mapped so far.
  const auto inPlace = [](SampleReader& r, bool once) {
    std::size_t n = 0;
    while (const auto in = r.readInPlace(65536)) {
      n += in->size();
      if (once) break;
    }
    return n;
  };
  std::vector<std::complex<float>> buf(65536);
  const auto floats = [&](SampleReader& r, bool once) {
    std::size_t n = 0;
    while (const auto got = r.read(std::span(buf))) {
      n += *got;
      if (once) break;
    }
    return n;
  };
  for (const std::size_t keep : {std::size_t{900000}, std::size_t{65536}}) {
    cut(keep, inPlace, std::nullopt);
    cut(keep, floats, std::nullopt);
    cut(keep, inPlace, std::optional<std::uint64_t>(1100000));  // a selection
  }

  // Growing: opened at 1000 samples, then a sample and a half appended.
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes, 8 * 1000);
  for (const bool mapped : {true, false}) {
    SampleReader r(file, mapped ? SampleFormat::Cf32 : SampleFormat::Ci16);
    std::ofstream(file, std::ios::binary | std::ios::app).write(bytes, 12);
    std::size_t n = 0;
    if (mapped) {
      while (const auto in = r.readInPlace(300)) n += in->size();
      EXPECT_EQ(n, 1001u);
    } else {
      std::vector<std::complex<double>> chunk;
      while (r.read(chunk, 300)) n += chunk.size();
      EXPECT_EQ(n, 2000u + 3);  // ci16 samples: 4 bytes each
    }
    ASSERT_EQ(::truncate(file.c_str(), 8 * 1000), 0);
  }
}

}  // namespace
}  // namespace dot11a

// Raw complex samples read a chunk at a time, from a file or from standard
// input, so that a recording of any length takes a bounded amount of memory.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dot11a/export.hpp"

DOT11A_API_BEGIN

namespace dot11a {

// The raw sample layouts (I then Q): cf32 little-endian floats, ci16
// little-endian and ci8 two's complement integers (named as SigMF names them:
// cf32_le, ci16_le, ci8), and the 16-bit sample file (big-endian integers).
// Integers are scaled to +-1 by their largest positive value.
enum class SampleFormat { Cf32, Ci16, Ci8, Sample16 };

// "cf32", "ci16", "ci8", "bin" and the SigMF names "cf32_le", "ci16_le".
std::optional<SampleFormat> sampleFormatFromText(std::string_view text);
// From a file name's extension: .cf32 .raw .ci16 .ci8 .bin.
std::optional<SampleFormat> sampleFormatOf(std::string_view path);
std::size_t bytesPerSample(SampleFormat format);
const char* sampleFormatName(SampleFormat format);

// Appends the samples the bytes hold (a whole number of samples) to out.
void appendSamples(std::span<const std::uint8_t> bytes, SampleFormat format,
                   std::vector<std::complex<double>>& out);

class SampleReader {
 public:
  // Opens a raw sample file, or standard input for "-". `first` and `count`
  // select samples of a file (by seeking); standard input is read to its end.
  SampleReader(const std::string& path, SampleFormat format, std::uint64_t first = 0,
               std::optional<std::uint64_t> count = std::nullopt);
  ~SampleReader();
  SampleReader(const SampleReader&) = delete;
  SampleReader& operator=(const SampleReader&) = delete;

  // Replaces `out` with up to maxSamples next samples. Returns false at the end
  // of the input (out empty then). A signal that interrupts the wait returns
  // true with what has arrived, possibly nothing, so the caller can look at
  // why. Raises a run-time error when the input cannot be read, when a file
  // ends before the size it had when it was opened (it "became shorter
  // while it was read"; a selection beyond that size reads to the end), and
  // when a stream ends in
  // the middle of a sample. A file that grew since it was opened is read to
  // its last whole sample (one still being written may end in part of one).
  bool read(std::vector<std::complex<double>>& out, std::size_t maxSamples);
  // The same for a cf32 input, the floats as they are stored: up to
  // out.size() (at least 1) next samples read straight into `out`, neither
  // converted nor rounded (widened to double, they are the values of the
  // overload above). Returns how many, or nothing at the end of the input.
  // The caller's buffer is filled as it is, never resized or cleared first.
  // The integer layouts are scaled in double precision: for them this
  // raises a logic error.
  std::optional<std::size_t> read(std::span<std::complex<float>> out);
  // The same samples where they lie: up to maxSamples (at least 1) next cf32
  // samples of a file, mapped from it a window at a time rather than copied,
  // valid until the next call or the reader's end. Standard input, a pipe,
  // or a file that cannot be mapped goes through read(span) into a buffer of
  // the reader's own. Returns nothing at the end of the input. A file that
  // becomes shorter while it is read gives zeros for what it lost and a
  // run-time error at the next call. Read a reader one way only.
  std::optional<std::span<const std::complex<float>>> readInPlace(std::size_t maxSamples);

  // The file's size in samples (nothing for standard input).
  std::optional<std::uint64_t> fileSamples() const { return fileSamples_; }

 private:
  std::string path_;
  SampleFormat format_;
  int fd_ = -1;
  bool ownFd_ = false;
  std::optional<std::uint64_t> left_;  // samples still to read, when limited
  std::optional<std::uint64_t> fileSamples_;
  std::uint64_t next_ = 0;  // the next sample's number in the file
  // A file ends here: raises when it ended too soon, and tells whether the
  // bytes of a partial sample read before the end are a growing file's.
  bool endOfFile();
  [[noreturn]] void becameShorter() const;
  // The number of samples the next read asks for, 0 once a selection is read.
  std::size_t wanted(std::size_t maxSamples) const;
  // Reads into `buf` (room for `capacity` bytes, the held_ bytes of a partial
  // sample already at its start) until it holds a whole sample, the input
  // ends, or a signal interrupts the wait. Returns the whole samples in buf.
  std::size_t fill(std::uint8_t* buf, std::size_t capacity, bool& interrupted, bool& ended);
  // After the whole samples at buf are converted: keeps the bytes of a
  // partial sample after them for the next read, counts the samples and
  // raises when the input ended inside one. Returns read's result.
  bool handedOut(const std::uint8_t* buf, std::size_t samples, bool interrupted, bool ended);

  std::vector<std::uint8_t> bytes_;  // read, not yet converted (a partial sample)
  std::size_t held_ = 0;

  // readInPlace: the mapped window of a file, or the buffer of the samples
  // read the other way.
  struct Window;
  std::unique_ptr<Window> window_;
  std::vector<std::complex<float>> floats_;
  bool mapping_ = false;  // a regular file, read in place
  std::uint64_t at_ = 0;  // the byte of the next sample, when mapping
};

}  // namespace dot11a

DOT11A_API_END

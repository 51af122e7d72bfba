// Structural check of MAT version 5 files before libmatio reads them (internal
// to the core component).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dot11a/matfile.hpp"

namespace dot11a::mat5 {

// "4 MiB" for a whole number of mebibytes, otherwise the byte count.
std::string mebibytes(std::uint64_t bytes);

// True when the 128-byte header names version 5 in either byte order.
bool hasHeader(const std::vector<unsigned char>& file);

// Checks the file open as `fd`, of `size` bytes, whose header was checked.
// matio sizes its buffers from the dimensions a file declares, so a small
// damaged file could make it ask for gigabytes; here every element and
// sub-element must fit inside its parent, an array has only the sub-elements
// its class calls for (records and cell lists exactly the arrays their
// dimensions and field names call for), every tag names a known data type, the
// declared number of elements must be backed by bytes in the file and stay
// within `limits`, and compressed variables may inflate to no more than the
// limits allow. The file is judged as it is read, a piece at a time: what a
// damaged file declares is never collected first, and memory stays small
// whatever the file's size.
//
// Returns, for each top-level variable in file order, the number of elements
// all its arrays declare together: a reader compares it with what matio found
// so that the two cannot read the bytes differently. Returns nullopt when the
// file is refused; `problem` then says why when a limit was the reason and is
// empty when the file is truncated or damaged.
std::optional<std::vector<std::uint64_t>> check(int fd, std::uint64_t size,
                                                const MatReadLimits& limits, std::string& problem);

}  // namespace dot11a::mat5

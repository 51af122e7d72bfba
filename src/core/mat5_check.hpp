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

// Checks a whole file whose header was checked. matio sizes its buffers from
// the dimensions a file declares, so a small damaged file could make it ask
// for gigabytes; here every element and sub-element must fit inside its
// parent, records and cell lists must hold exactly the arrays their
// dimensions and field names call for, the declared number of elements must be
// backed by bytes in the file and stay within `limits`, and compressed
// variables may inflate to no more than the limits allow.
//
// Returns, for each top-level variable in file order, the number of elements
// all its arrays declare together: a reader compares it with what matio found
// so that the two cannot read the bytes differently. Returns nullopt when the
// file is refused; `problem` then says why when a limit was the reason and is
// empty when the file is truncated or damaged.
std::optional<std::vector<std::uint64_t>> check(const std::vector<unsigned char>& file,
                                                const MatReadLimits& limits, std::string& problem);

}  // namespace dot11a::mat5

// A SigMF recording's two files replaced as one, and the repair of a
// replacement that a killed process left half done (internal to io).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "dot11a/files.hpp"

namespace dot11a {

// The most metadata text a reader takes (16 MiB).
inline constexpr std::uintmax_t kMaxSigmfMetaBytes = std::uintmax_t{1} << 24;

// Replaces the pair with `data` and `meta` (which records the data's digest):
// both new, or both as before; see commitTogether.
void commitSigmfPair(const SigmfPaths& paths, std::span<const std::uint8_t> data,
                     std::string_view meta);

// Finishes or undoes a replacement of the pair that was interrupted between
// its two renames, judged by the digest the metadata records: when the data
// in place has complete new metadata beside it, that goes in (forward); when
// the data in place is not the one its metadata describes, but the previous
// data is beside it, that goes back. Leftovers are removed only once the pair
// agrees (and after ten minutes, as the other temporary files); a pair that
// cannot be judged keeps them. Best effort: it raises nothing, and a pair it
// cannot mend is left for the reader to refuse.
void recoverSigmfPair(const SigmfPaths& paths) noexcept;

}  // namespace dot11a

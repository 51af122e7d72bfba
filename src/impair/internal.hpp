// Internal to the impairments: the stages that live in their own files.
#pragma once

#include <random>
#include <span>

#include "core/vector_dispatch.hpp"
#include "dot11a/impair.hpp"

namespace dot11a::impair {

// The complex product written out: no checks for infinities and NaN, which
// keep the compiler from vectorising the per-sample loops.
inline cplx mul(cplx a, cplx b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// Independent Gaussian values of standard deviation sigma.
void fillGaussian(std::span<double> out, double sigma, std::mt19937_64& rng);
// The same added to the values in place.
void addGaussian(std::span<double> out, double sigma, std::mt19937_64& rng);

// Multiplies by exp(j (2 pi hz n / fs + phase0)).
void rotate(std::span<cplx> x, double hz, double fs, double phase0);

// The multipath channel: a tapped delay line drawn anew for every burst and
// applied in place from that burst's start to the next one's (the bursts in
// order, not overlapping).
void applyChannel(std::span<cplx> x, double fs, std::span<const Burst> bursts, const Channel& c,
                  std::mt19937_64& rng);

// Raises an error when a channel of the spacing at `offsetHz` does not fit in
// the band a sample rate holds, or the rate is not the spacing's base rate
// times a whole number.
void checkInterfererFits(double offsetHz, double fs, ChannelSpacing spacing);

// Adds an unsynchronised 802.11a signal at the offset, with the mean power
// `wantedPower` x 10^(level / 10).
void addInterferer(std::span<cplx> x, double fs, const Interferer& i, double wantedPower,
                   ChannelSpacing spacing, std::mt19937_64& rng);

}  // namespace dot11a::impair

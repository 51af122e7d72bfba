// The C entry point between the library and the I/O gateway plugin.
//
// The plugin exports
//   int dot11a_hwio_version(void);   returns kHwioAbiVersion
//   int dot11a_hwio_call(int nargout, dot11a::Value* outputs,
//                        int nargin, const dot11a::Value* inputs,
//                        char* message, size_t messageSize);
// `outputs` holds nargout absent values for the plugin to fill. The call
// returns 0, or non-zero for a run-time error whose text it writes, NUL
// terminated, into `message`. No exception crosses the boundary.
#pragma once

#include <cstddef>

#include "dot11a/value.hpp"

namespace dot11a {

inline constexpr int kHwioAbiVersion = 1;
inline constexpr const char* kHwioCallSymbol = "dot11a_hwio_call";
inline constexpr const char* kHwioVersionSymbol = "dot11a_hwio_version";
inline constexpr const char* kHwioPluginFile = "libdot11a_hwio.so";

// Optional: a plugin that exports
//   void dot11a_hwio_set_progress(HwioProgressFn fn, void* context);
// calls fn(context, sent, total) while a download's bytes go out, until it is
// set to null again. The library sets it around one download call at a time.
inline constexpr const char* kHwioProgressSymbol = "dot11a_hwio_set_progress";

extern "C" {
using HwioProgressFn = void (*)(void* context, unsigned long long sent, unsigned long long total);
using HwioSetProgressFn = void (*)(HwioProgressFn fn, void* context);
using HwioCallFn = int (*)(int nargout, Value* outputs, int nargin, const Value* inputs,
                           char* message, std::size_t messageSize);
using HwioVersionFn = int (*)();
}

}  // namespace dot11a

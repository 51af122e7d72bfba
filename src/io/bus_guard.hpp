// Guards the mapped windows of files against the files becoming shorter.
//
// Reading a mapped page that a file no longer reaches raises SIGBUS, which
// would end the process. While a window is guarded, a handler (installed
// with the first guard) maps zero pages over the rest of the window and
// notes the cut, so the read goes on and the reader can report the file as
// cut short. A SIGBUS outside every guarded window goes to the handler that
// was there before, or ends the process as it would have.
#pragma once

#include <cstddef>

namespace dot11a::io {

// Guards `length` bytes from `begin`; returns the guard's number, or -1 when
// every guard is taken (the caller then reads without a mapping).
int guardWindow(const void* begin, std::size_t length);
// Whether the file under guard `guard` became shorter than its window.
bool windowCut(int guard);
// Ends guard `guard`, before the window is unmapped.
void unguardWindow(int guard);

}  // namespace dot11a::io

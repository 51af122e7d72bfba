// What the shared library exports. Its components are built with hidden
// visibility; the public headers mark the declarations of the library's
// interface with these, so that only they are visible to programs.
#pragma once

// One declaration (a function, a class).
#define DOT11A_API __attribute__((visibility("default")))
// Every declaration between the two.
#define DOT11A_API_BEGIN _Pragma("GCC visibility push(default)")
#define DOT11A_API_END _Pragma("GCC visibility pop")

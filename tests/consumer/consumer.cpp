// Uses the installed library the way a third-party program would: start it,
// call an exported operation, check the result, stop it.
#include <dot11a/library.hpp>

#include <cstdio>

int main() {
  Dot11a_b_libInitialize();
  int rc = 0;
  try {
    const dot11a::Value bits = dot11a::Value::row({1, 0, 0, 0, 0, 0, 0});
    const dot11a::Value coded = mlfDot11a_ConvolEncode(bits, dot11a::Value(0.5));
    const double expected[] = {1, 1, 0, 1, 1, 1, 1, 1, 0, 0, 1, 0, 1, 1};
    if (coded.numel() != 14) rc = 1;
    for (std::size_t i = 0; rc == 0 && i < 14; ++i)
      if (coded.real(i) != expected[i]) rc = 1;
    std::printf("%zu coded bits%s\n", coded.numel(), rc ? " (wrong)" : "");
  } catch (const dot11a::Error& e) {
    std::printf("error: %s\n", e.what());
    rc = 1;
  }
  Dot11a_b_libTerminate();
  return rc;
}

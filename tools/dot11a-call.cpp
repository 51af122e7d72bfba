// dot11a-call: calls any operation of the library by name, with arguments and
// results as JSON.
//
//   dot11a-call [--nout N] NAME [ARG ...]
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "dot11a/json.hpp"
#include "dot11a/library.hpp"

namespace {

void usage(std::ostream& os) {
  os << "usage: dot11a-call [--nout N] NAME [ARG ...]\n"
        "Calls the library operation NAME with the JSON arguments ARG and prints each of\n"
        "the N outputs (default 1) as JSON on a line of its own.\n"
        "  number -> 1x1 double        [1,0,1] -> row        [[1,2],[3,4]] -> matrix\n"
        "  {\"re\":..,\"im\":..} -> complex  {\"int32\":n} -> int32    \"text\" -> text\n"
        "  other object -> record      other array -> cell list  null -> absent input\n";
}

}  // namespace

int main(int argc, char** argv) {
  int nout = 1;
  int i = 1;
  if (i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)) {
    usage(std::cout);
    return 0;
  }
  if (i < argc && std::strcmp(argv[i], "--nout") == 0) {
    if (i + 1 >= argc) {
      std::cerr << "dot11a-call: --nout needs a number\n";
      return 2;
    }
    char* end = nullptr;
    const long n = std::strtol(argv[i + 1], &end, 10);
    if (end == argv[i + 1] || *end != '\0' || n < 0 || n > 64) {
      std::cerr << "dot11a-call: --nout takes a whole number from 0 to 64, not '" << argv[i + 1]
                << "'\n";
      return 2;
    }
    nout = static_cast<int>(n);
    i += 2;
  }
  if (i >= argc) {
    usage(std::cerr);
    return 2;
  }
  const std::string name = argv[i++];
  try {
    dot11a::LibrarySession session;
    std::vector<dot11a::Value> args;
    for (; i < argc; ++i) args.push_back(dot11a::valueFromJson(argv[i]));
    const std::vector<dot11a::Value> outs = dot11a::feval(name, nout, args);
    for (int k = 0; k < nout; ++k) {
      const dot11a::Value v = static_cast<std::size_t>(k) < outs.size()
                                  ? outs[static_cast<std::size_t>(k)]
                                  : dot11a::Value();
      std::cout << dot11a::valueToJson(v) << '\n';
    }
  } catch (const dot11a::Error& e) {
    std::cerr << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "dot11a-call: " << e.what() << '\n';
    return 1;
  }
  return 0;
}

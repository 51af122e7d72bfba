#!/usr/bin/env bash
# Checks what the shared library exports: the operations' entry points, the
# start and stop functions and the C++ interface of the public headers
# (namespace dot11a), and nothing of the graphics layer or of Qt. Prints the
# symbols that break the rule and fails if there are any.
# Usage: scripts/check-exports.sh [LIBRARY]   (default build/lib/libDot11a_b_lib.so)
set -euo pipefail
cd "$(dirname "$0")/.."
lib="${1:-build/lib/libDot11a_b_lib.so}"

# Allowed: the entry points, start and stop, names in namespace dot11a (with
# their type information, virtual tables and guard variables), instances of
# standard-library templates the interface uses (the compiler gives them
# default visibility so that one copy serves library and program) and the
# linker's section markers.
allow='^(mlfN?|mlfV|mlx)[A-Z][A-Za-z0-9_]*$|^Dot11a_b_lib(Initialize|Terminate)$|dot11a::|std::|^(_edata|_end|__bss_start)$'
# Never allowed: the graphics layer and anything naming a Qt type.
deny='dot11a::gfx::|\bQ[A-Z][A-Za-z]+\b|\bqt_|QCP'

symbols="$(nm -D --defined-only --demangle "$lib" | sed -E 's/^[0-9a-f]+ [A-Za-z] //')"
[ -n "$symbols" ] || { echo "check-exports: $lib exports nothing" >&2; exit 1; }
bad="$( (grep -Ev "$allow" <<<"$symbols" || true; grep -E "$deny" <<<"$symbols" || true) | sort -u)"
if [ -n "$bad" ]; then
  echo "check-exports: $lib exports symbols outside its interface:" >&2
  echo "$bad" >&2
  exit 1
fi
echo "check-exports: $(wc -l <<<"$symbols") symbols, entry points and the public interface only"

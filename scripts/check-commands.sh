#!/usr/bin/env bash
# Lists the commands that the scripts, CI, the build and the tests start, and
# the Python modules the tests import, each with the Debian package it comes
# from, and fails on any that no package of scripts/install-deps.sh provides
# (itself or through what it depends on) and that Debian's base system does
# not hold (the essential packages and those of priority required, which is
# what a minimal debootstrap installs, with apt). A command that is merely
# present on this machine fails as surely as a missing one: a fresh machine
# would not have it.
#   scripts/check-commands.sh        one summary line, or what is wrong
#   scripts/check-commands.sh -v     also every command and module with its package
#
# The commands of scripts/*.sh and .ci/run and the programs CMake looks for
# are read from the files; those that the tests and the build start from
# inside a program are listed below (declared). scripts/fresh-check.sh is
# left out: it installs its own tool and runs everything else inside the root
# it makes. Commands are looked up on Debian's standard PATH, so a program
# of the same name in a personal folder neither hides nor stands in for the
# package. Needs Debian's /usr/bin/python3 (one of the packages): run
# scripts/install-deps.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x /usr/bin/python3 ]; then
  echo "check-commands: /usr/bin/python3 is missing; run scripts/install-deps.sh first" >&2
  exit 1
fi
listed="$(bash scripts/install-deps.sh --list)"
builtins="$(compgen -b; compgen -k)"
exec /usr/bin/python3 - "$listed" "$builtins" "$@" <<'PY'
import glob, importlib.util, os, re, shutil, subprocess, sys

listed = sys.argv[1].split()
shell_builtins = set(sys.argv[2].split())
verbose = "-v" in sys.argv[3:]

# Started from inside a program or a CMake step, where the scan cannot see them.
declared = {
    "sh": "the tests' std::system and popen command lines",
    "python3": "tests/io, tests/gui (SciPy reads the MAT files) and the Python suite",
    "tshark": "tests/io/export_test.cpp (the PCAP file through Wireshark's dissectors)",
    "strace": "tests/io/gen_test.cpp (stops dot11a-gen between two renames)",
    "c++": "the C++ compiler CMake picks by default",
    "make": "CMake's default generator",
    "clang": "scripts/fuzz.sh (CC=clang)",
    "clang++": "scripts/test.sh and scripts/fuzz.sh (CXX=clang++)",
    "dpkg-shlibdeps": "cpack -G DEB (the package's library dependencies)",
    "file": "cpack -G DEB (finds the shared objects for dpkg-shlibdeps)",
}

# ---- commands at a command position of the shell scripts -----------------------------
# A small reader of the shell's syntax: quotes, $( ) and ( ), pipes and lists,
# comments, assignments before a command, keywords, function definitions, case
# patterns and here-documents. Commands inside trap, bash -c and sh -c strings
# are read too.
KEYWORDS_KEEP = {"if", "then", "else", "elif", "do", "while", "until", "!", "{", "time", "exec",
                 "command", "nohup", "setsid", "nice", "xargs"}
KEYWORDS_END = {"for", "select", "case", "in", "function", "fi", "done", "esac", "}"}
NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_.+-]*$")


def scan(text, found, functions, where):
    i, n = 0, len(text)
    at_command = True
    heredocs = []      # here-document ends waiting for the next line
    words = []         # words of the current simple command, for trap/bash -c
    cases = 0          # case statements open
    pattern = False    # reading a case pattern (up to its ")")
    expect_in = False  # after "case WORD", before "in"
    while i < n:
        c = text[i]
        if text.startswith("\\\n", i):
            i += 2
            continue
        if c == "\n":
            at_command, words = True, []
            i += 1
            for end in heredocs:
                while i < n:
                    j = text.find("\n", i)
                    j = n if j < 0 else j
                    line, i = text[i:j], j + 1
                    if line.strip() == end:
                        break
            heredocs = []
            continue
        if c in " \t":
            i += 1
            continue
        if c == "#":
            j = text.find("\n", i)
            i = n if j < 0 else j
            continue
        if text.startswith("<<", i) and not text.startswith("<<<", i):
            m = re.match(r"<<-?\s*['\"]?(\w+)['\"]?", text[i:])
            if m:
                heredocs.append(m.group(1))
                i += m.end()
                continue
        if text.startswith(";;", i):
            at_command, words, pattern = True, [], cases > 0
            i += 2
            continue
        if c in ";|&(":
            at_command, words = not pattern, []
            i += 1
            continue
        if c == ")":
            at_command = pattern
            pattern = False
            i += 1
            continue
        if c in "<>":
            i += 1
            continue
        # One word, with its quoted parts; $( ... ) inside it is scanned on its own.
        word, j, quoted = "", i, False
        while j < n and text[j] not in " \t\n;|&()<>":
            if text[j] == "'":
                k = text.find("'", j + 1)
                k = n if k < 0 else k
                word += text[j + 1:k]
                j, quoted = k + 1, True
            elif text[j] == '"':
                k = j + 1
                while k < n and text[k] != '"':
                    if text[k] == "\\":
                        k += 1
                    elif text.startswith("$(", k) and not text.startswith("$((", k):
                        k = scan_substitution(text, k + 2, found, functions, where)
                        continue
                    k += 1
                word += text[j + 1:k]
                j, quoted = k + 1, True
            elif text.startswith("$((", j):
                k = text.find("))", j)
                j = n if k < 0 else k + 2
                word += "$"
            elif text.startswith("$(", j):
                j = scan_substitution(text, j + 2, found, functions, where)
                word += "$"
            elif text.startswith("${", j):
                k = text.find("}", j)
                j = n if k < 0 else k + 1
                word += "$"
            elif text[j] == "\\":
                word += text[j + 1:j + 2]
                j += 2
            else:
                word += text[j]
                j += 1
        i = j
        if word.endswith("=") and text.startswith("(", i):
            i = skip_array(text, i + 1)  # an array's elements are no commands
            continue
        words.append(word)
        if len(words) == 2 and words[0] == "trap":
            scan(word, found, functions, where)
        if len(words) >= 3 and words[0] in ("bash", "sh") and words[-2] == "-c":
            scan(word, found, functions, where)
        if expect_in and word == "in":
            expect_in, pattern = False, True
            continue
        if word == "esac" and not quoted:
            cases -= 1
            pattern = False
            continue
        if pattern or not at_command:
            continue
        if text.startswith("()", i):
            functions.add(word)
            continue
        if re.match(r"^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=", word) and not quoted:
            continue  # an assignment before the command
        if word == "case" and not quoted:
            cases += 1
            expect_in, at_command = True, False
            continue
        if word in KEYWORDS_KEEP:
            if word != "!" and word not in shell_builtins:
                found.setdefault(word, set()).add(where)
            continue
        at_command = False
        if word in KEYWORDS_END or word in shell_builtins or not NAME.match(word):
            continue  # a keyword, a built-in, a path or an expansion
        found.setdefault(word, set()).add(where)


def skip_array(text, i):
    """Returns the index after the ) that closes an array whose ( is before i."""
    n = len(text)
    while i < n and text[i] != ")":
        if text[i] in "'\"":
            k = i + 1
            while k < n and text[k] != text[i]:
                k += 2 if text[i] == '"' and text[k] == "\\" else 1
            i = k + 1
        elif text[i] == "#" and (i == 0 or text[i - 1] in " \t\n"):
            k = text.find("\n", i)
            i = n if k < 0 else k
        else:
            i += 1
    return i + 1


def scan_substitution(text, i, found, functions, where):
    """Scans the command of $( ... ) starting at i; returns the index after its )."""
    level, j, quote = 1, i, None
    while j < len(text) and level:
        c = text[j]
        if quote:
            if c == quote:
                quote = None
            elif c == "\\" and quote == '"':
                j += 1
        elif c in "'\"":
            quote = c
        elif c == "(":
            level += 1
        elif c == ")":
            level -= 1
        j += 1
    scan(text[i:j - 1], found, functions, where)
    return j


commands, functions = {}, set()
scripts = sorted(glob.glob("scripts/*.sh")) + [".ci/run"]
for path in scripts:
    if path == "scripts/fresh-check.sh":
        continue
    with open(path) as f:
        scan(f.read(), commands, functions, path)
for path in ["CMakeLists.txt"] + sorted(glob.glob("cmake/*.cmake")) + sorted(
        glob.glob("**/CMakeLists.txt", recursive=True)):
    if path.startswith("build"):
        continue
    with open(path) as f:
        for m in re.finditer(r"find_program\(\s*\w+\s+(?:NAMES\s+)?([\w.+-]+)", f.read()):
            commands.setdefault(m.group(1), set()).add(path)
for name in functions:
    commands.pop(name, None)
for name, where in declared.items():
    commands.setdefault(name, set()).add(where)

# ---- Python modules the tests and the documented example import ------------------------
modules = {}
sources = sorted(glob.glob("python/tests/*.py")) + ["docs/python.md"] + sorted(
    glob.glob("tests/**/*.cpp", recursive=True))
own = {os.path.basename(p) for p in glob.glob("python/*") if os.path.isdir(p)}
for path in sources:
    with open(path) as f:
        text = f.read()
    for m in re.finditer(r"(?:^|[\"'(;\s])import\s+([\w.]+(?:\s+as\s+\w+)?(?:\s*,\s*[\w.]+(?:\s+as\s+\w+)?)*)",
                         text):
        for part in m.group(1).split(","):
            modules.setdefault(part.split()[0].split(".")[0], set()).add(path)
    for m in re.finditer(r"^\s*from\s+([\w]+)[\w.]*\s+import\b|importorskip\(\"(\w+)", text, re.M):
        modules.setdefault(m.group(1) or m.group(2), set()).add(path)
for name in own:
    modules.pop(name, None)

# ---- which package holds each file -----------------------------------------------------
def candidates(path):
    """The path, where its links lead, and each as the package lists it (/bin for /usr/bin)."""
    out = []
    for p in (path, os.path.realpath(path)):
        for q in (p, re.sub(r"^/usr/(bin|sbin|lib)/", r"/\1/", p)):
            if q not in out:
                out.append(q)
    return out


STANDARD_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
paths = {}
for name in commands:
    found = shutil.which(name, path=STANDARD_PATH)
    paths[("command", name)] = candidates(found) if found else []
interpreter = os.path.realpath(sys.executable)
for name in modules:
    located = importlib.util.find_spec(name)
    if located is None:
        paths[("module", name)] = []
    elif located.origin in (None, "built-in", "frozen"):
        paths[("module", name)] = candidates(interpreter)
    else:
        paths[("module", name)] = candidates(located.origin)

owners = {}
every = sorted({p for ps in paths.values() for p in ps})
if every:
    out = subprocess.run(["dpkg-query", "-S", *every], capture_output=True, text=True).stdout
    for line in out.splitlines():
        if line.startswith("diversion ") or ": " not in line:
            continue
        pkgs, path = line.split(": ", 1)
        owners.setdefault(path, set()).update(p.split(":")[0] for p in pkgs.split(", "))

# ---- what the list and the base system install ----------------------------------------
status = subprocess.run(
    ["dpkg-query", "-W", "-f=${db:Status-Abbrev}\t${Package}\t${Essential}\t${Priority}\t"
     "${Provides}\t${Depends}, ${Pre-Depends}\n"], capture_output=True, text=True, check=True).stdout
installed, depends, providers, base = set(), {}, {}, {"apt"}
for line in status.splitlines():
    abbrev, pkg, essential, priority, provides, deps = line.split("\t")
    if not abbrev.startswith("ii"):
        continue
    installed.add(pkg)
    depends.setdefault(pkg, []).append(deps)
    if essential == "yes" or priority == "required":
        base.add(pkg)
    for v in provides.split(","):
        if v.strip():
            providers.setdefault(v.split()[0].split(":")[0], set()).add(pkg)

problems = [f"{p}: listed in scripts/install-deps.sh but not installed; run scripts/install-deps.sh"
            for p in listed if p not in installed]


def closure(roots):
    """The installed packages the roots pull in through Depends and Pre-Depends."""
    seen, todo = set(), [r for r in roots if r in installed]
    while todo:
        pkg = todo.pop()
        if pkg in seen:
            continue
        seen.add(pkg)
        for clause in ", ".join(depends.get(pkg, [])).split(","):
            for alt in clause.split("|"):
                name = alt.strip().split(" ")[0].split(":")[0]
                if not name:
                    continue
                hits = {name} & installed or providers.get(name, set())
                if hits:
                    todo.extend(hits)
                    break
    return seen


allowed = closure(set(listed) | base)
base_closure = closure(base)

for (kind, name), cands in sorted(paths.items(), key=lambda kv: (kv[0][0] != "command", kv[0][1])):
    where = "; ".join(sorted(commands.get(name) if kind == "command" else modules[name]))
    pkgs = set()
    for p in cands:
        pkgs |= owners.get(p, set())
    label = "command" if kind == "command" else "Python module"
    if not cands:
        problems.append(f"{label} {name} ({where}): not on this machine, and no package of "
                        "scripts/install-deps.sh provides it")
        continue
    if not pkgs:
        problems.append(f"{label} {name} ({where}): {cands[0]} belongs to no Debian package")
        continue
    ok = sorted(pkgs & allowed)
    if not ok:
        problems.append(f"{label} {name} ({where}): {cands[0]} comes from {', '.join(sorted(pkgs))}, "
                        "which neither scripts/install-deps.sh nor Debian's base system installs")
    elif verbose:
        origin = "base system" if set(ok) & base_closure else "install-deps.sh"
        print(f"  {name:<16} {', '.join(ok):<28} ({origin}) {where}")

if problems:
    print("check-commands: " + str(len(problems)) + " problem(s):", file=sys.stderr)
    for p in problems:
        print("  " + p, file=sys.stderr)
    sys.exit(1)
print(f"check-commands: {sum(k == 'command' for k, _ in paths)} commands and "
      f"{sum(k == 'module' for k, _ in paths)} Python modules, each from a package of "
      "scripts/install-deps.sh or of Debian's base system")
PY

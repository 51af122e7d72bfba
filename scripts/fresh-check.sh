#!/usr/bin/env bash
# Tries the README's quick start as a new user would: makes a minimal Debian 12
# root (debootstrap --variant=minbase bookworm), clones this repository into it
# (its current commit, or REVISION), and runs the README's quick-start commands
# there as root, one after the other, printing each one's exit status and time.
# Slow (the whole of CI twice on two cores) and not part of CI: run it, as root,
# before a change to scripts/install-deps.sh, to the scripts or to the README's
# commands lands.
#
#   scripts/fresh-check.sh [REVISION]
#     FRESH_DIR=DIR   where the root is made (default /var/tmp)
#     FRESH_MIRROR=U  the Debian mirror (default http://deb.debian.org/debian)
#     FRESH_KEEP=1    keep the root afterwards (its path is printed)
#
# Each command's output goes to build-fresh/ (debootstrap.log, then one log
# per command); the section lines of scripts/test.sh are shown as they come.
# The root gets Debian's standard /etc/hosts, the host's resolv.conf, and
# /proc, /sys, /dev/pts and /dev/shm mounted. On exit, Ctrl+C included, the
# processes left in the root are ended (a script's background commands ignore
# Ctrl+C), everything mounted in it is unmounted, and the root is deleted only
# when nothing is mounted in it any more. Exits 0 when every command exited 0.
set -euo pipefail
# The braces make bash read the whole script before it runs any of it: an edit
# to this file during the hour it runs cannot change what it does.
{
cd "$(dirname "$0")/.."
repo=$PWD
[ "$(id -u)" -eq 0 ] || { echo "fresh-check: run as root (debootstrap, chroot, mount)" >&2; exit 2; }
revision=$(git rev-parse --verify "${1:-HEAD}^{commit}")
if [ -z "${1:-}" ] && [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "fresh-check: uncommitted changes are not checked; the root gets commit $revision"
fi
mirror=${FRESH_MIRROR:-http://deb.debian.org/debian}
logs=$repo/build-fresh
mkdir -p "$logs"

# The README's commands (of the revision checked): the lines of the first sh
# block under "## Quick start", without their comments.
mapfile -t commands < <(awk '/^## Quick start/ {q = 1; next}
  q && /^```sh/ {b = 1; next}
  b && /^```/ {exit}
  b {sub(/[ \t]+#.*$/, ""); if ($0 != "") print}' <(git show "$revision:README.md"))
[ "${#commands[@]}" -gt 0 ] || { echo "fresh-check: no quick-start commands in README.md" >&2; exit 2; }

if ! command -v debootstrap >/dev/null; then
  echo "fresh-check: installing debootstrap"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

minutes() { printf '%d.%d min' $(($1 / 60)) $(($1 % 60 / 6)); }
# Sets cpu_now to the processor time (user and system, in seconds) of the
# children waited for so far; on two idle cores a command takes at least half
# of its share. Called in this shell, not in $( ): a subshell's times start at
# zero.
read_cpu() {
  local u s
  times >"$logs/.times"
  { read -r _ _; read -r u s; } <"$logs/.times"  # the children's "1m2.345s 0m6.789s"
  rm -f "$logs/.times"
  cpu_now=$(((10#${u%%m*} + 10#${s%%m*}) * 60 + 10#$(sed 's/.*m//; s/\..*//' <<<"$u") + 10#$(sed 's/.*m//; s/\..*//' <<<"$s")))
}

mounted_in_root() {
  # Mount points at or below the root, deepest first.
  awk -v r="$root" '$5 == r || index($5, r "/") == 1 {print $5}' /proc/self/mountinfo | sort -r
}
cleanup() {
  local rc=$? pids p tries
  trap - EXIT INT TERM
  # Whatever still runs inside the root was started there by this script.
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    pids=()
    for p in /proc/[0-9]*; do
      [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && pids+=("${p#/proc/}")
    done
    [ "${#pids[@]}" -gt 0 ] || break
    if [ "$tries" -lt 10 ]; then kill -TERM "${pids[@]}" 2>/dev/null || true; else kill -KILL "${pids[@]}" 2>/dev/null || true; fi
    sleep 1
  done
  for p in $(mounted_in_root); do
    umount "$p" 2>/dev/null || umount -l "$p" || true
  done
  if [ -n "$(mounted_in_root)" ]; then
    echo "fresh-check: still mounted in $root, not deleted:" >&2
    mounted_in_root >&2
  elif [ "${FRESH_KEEP:-0}" = 1 ]; then
    echo "fresh-check: the root is kept in $root"
  else
    rm -rf --one-file-system "$root"
  fi
  exit "$rc"
}
root=$(realpath "$(mktemp -d "${FRESH_DIR:-/var/tmp}/fresh-root.XXXXXX")")
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
chmod 755 "$root"  # it becomes /, which every user must be able to enter (apt's _apt)

echo "fresh-check: a minimal Debian 12 in $root (debootstrap, log in build-fresh/debootstrap.log)"
start=$SECONDS
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1; then
  tail -20 "$logs/debootstrap.log" >&2
  echo "fresh-check: debootstrap failed" >&2
  exit 1
fi
echo "fresh-check: debootstrap: $(minutes $((SECONDS - start)))"

# What a freshly installed machine has and a bare root lacks.
cat >"$root/etc/hosts" <<EOF
127.0.0.1	localhost
127.0.1.1	$(hostname)

# The following lines are desirable for IPv6 capable hosts
::1     localhost ip6-localhost ip6-loopback
ff02::1 ip6-allnodes
ff02::2 ip6-allrouters
EOF
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# No service that a package installs starts inside the root: it would outlive
# the check and keep the root busy.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mkdir -p "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
mount -t tmpfs -o mode=1777 shm "$root/dev/shm"

git clone -q "$repo" "$root/root/veltora"
git -C "$root/root/veltora" checkout -q --detach "$revision"
echo "fresh-check: cloned $(git log -1 --format='%h %s' "$revision")"

failed=0
summary=()
for i in "${!commands[@]}"; do
  cmd=${commands[$i]}
  log="$logs/$((i + 1))-$(sed 's/[^A-Za-z0-9.]\+/_/g; s/^_//; s/_$//' <<<"$cmd").log"
  echo "fresh-check: $cmd (log in build-fresh/$(basename "$log"))"
  start=$SECONDS
  read_cpu
  cpu=$cpu_now
  # A root login's environment, nothing of this one's.
  chroot "$root" /usr/bin/env -i HOME=/root LOGNAME=root USER=root SHELL=/bin/bash TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/veltora && $cmd" </dev/null >"$log" 2>&1 &
  pid=$!
  # The sections of scripts/test.sh as they come; tail stops when the command
  # does. Waiting on the command (not on tail) lets Ctrl+C and TERM through.
  (tail -n +1 -F --pid="$pid" "$log" 2>/dev/null | grep --line-buffered -E '^==== ' || true) &
  follower=$!
  rc=0
  wait "$pid" || rc=$?
  wait "$follower" || true
  read_cpu
  line="$cmd: exit status $rc, $(minutes $((SECONDS - start))) ($(minutes $((cpu_now - cpu))) of processor time)"
  echo "fresh-check: $line"
  summary+=("$line")
  if [ "$rc" -ne 0 ]; then
    failed=1
    tail -30 "$log"
  fi
done
echo "fresh-check: on a minimal Debian 12 at $(git log -1 --format=%h "$revision"):"
printf '  %s\n' "${summary[@]}"
exit "$failed"
}

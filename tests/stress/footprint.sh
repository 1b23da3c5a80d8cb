#!/usr/bin/env bash
# Runs a test session and fails if the Wine prefix's registry or drive_c
# changed meanwhile.
#
#   footprint.sh WINERUN STATE PROGRAM [ARGS...]
#
# wineserver keeps the registry in memory and writes a changed branch to
# user.reg or system.reg only now and then; on SIGINT it saves every
# changed branch before it exits. So the server is stopped (wineserver -k
# sends SIGINT first) before each snapshot, and a probe value first shows
# that a write does reach the files that way. Wine's own start rewrites
# some keys unchanged, and its display driver stamps the adapter with the
# time it started; only those time stamps (the "#time=" lines, the seconds
# after a key's name, and the adapter's DriverDate and DriverDateData) are
# left out of the comparison.
set -uo pipefail
winerun=$1 state=$2
shift 2
prefix="$state/prefix"  # where winerun keeps the prefix
export WINEPREFIX="$prefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

flush() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  return 0
}

snapshot() {
  mkdir -p "$1"
  for f in user system userdef; do
    sed -E -e '/^#time=/d' -e 's/^(\[.*\]) [0-9]+$/\1/' -e '/^"DriverDate(Data)?"=/d' \
      "$prefix/$f.reg" >"$1/$f.reg" || return 1
  done
  (cd "$prefix/drive_c" && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort) >"$1/drive_c.txt"
}

key='HKCU\Software\Heftmark.StressFlushProbe'
probe="probe-$$-$RANDOM"
"$winerun" --state "$state" reg add "$key" /v probe /d "$probe" /f >/dev/null 2>&1
flush
if ! grep -q "$probe" "$prefix/user.reg"; then
  echo "FAILED: a registry write did not reach user.reg when wineserver stopped"
  exit 1
fi
"$winerun" --state "$state" reg delete "$key" /f >/dev/null 2>&1
flush
snapshot "$work/before" || exit 1

"$winerun" --state "$state" "$@"
rc=$?

flush
snapshot "$work/after" || exit 1
# Leave the server running for the tests after us.
"$winerun" --state "$state" --start

if ! diff -r -u "$work/before" "$work/after"; then
  echo "FAILED: the session changed the prefix (diff above)"
  exit 1
fi
echo "registry and drive_c unchanged"
exit $rc

#!/usr/bin/env bash
# Builds the release for the tests, and checks that it can be built again.
#
#   check_release.sh build SOURCE DIR
#       runs scripts/release with DIR as its build root (kept between runs,
#       so it builds incrementally), into DIR/out; unpacks the zips into
#       DIR/unpacked/ARCH and writes the commit time to DIR/epoch.
#   check_release.sh again SOURCE DIR OTHER
#       builds the release afresh in OTHER and compares it with DIR's, byte
#       for byte; checks the sums file.
set -euo pipefail
mode=$1 src=$2 dir=$3
# The commit's time, not one from the caller's environment.
unset SOURCE_DATE_EPOCH

build() {
  "$src/scripts/release" --build-root "$1" --out "$1/out" >"$1.log" 2>&1 || {
    cat "$1.log"
    echo "FAIL: scripts/release failed"
    exit 1
  }
}

case "$mode" in
  build)
    mkdir -p "$dir"
    build "$dir"
    git -C "$src" log -1 --format=%ct >"$dir/epoch"
    rm -rf "$dir/unpacked"
    for arch in win32 win64; do
      mkdir -p "$dir/unpacked/$arch"
      (cd "$dir/unpacked/$arch" && cmake -E tar xf "$dir/out/Heftmark-2.6-$arch.zip")
    done
    echo "built into $dir/out"
    ;;
  again)
    other=$4
    rm -rf "$other"
    mkdir -p "$other"
    build "$other"
    status=0
    a=$(cd "$dir/out" && ls) b=$(cd "$other/out" && ls)
    if [ "$a" != "$b" ]; then
      echo "FAIL: the two builds made different files:"
      diff <(echo "$a") <(echo "$b") || true
      status=1
    fi
    for f in $a; do
      if cmp "$dir/out/$f" "$other/out/$f"; then echo "same: $f"; else status=1; fi
    done
    [ "$a" = "$(printf '%s\n' Heftmark-2.6-setup.exe Heftmark-2.6-win32.zip Heftmark-2.6-win64.zip SHA256SUMS.txt)" ] ||
      { echo "FAIL: unexpected files: $a"; status=1; }
    (cd "$dir/out" && sha256sum --strict -c SHA256SUMS.txt) || status=1
    [ "$(wc -l <"$dir/out/SHA256SUMS.txt")" -eq 3 ] || { echo "FAIL: the sums file does not list all three"; status=1; }
    [ $status -eq 0 ] && echo "the two builds agree"
    # Nothing to keep: the first build's tree is the one the other tests use.
    rm -rf "$other" "$other.log"
    exit $status
    ;;
  *) echo "usage: check_release.sh build|again SOURCE DIR [OTHER]" >&2; exit 2 ;;
esac

#!/bin/sh
# VIPER of a 2 MiB device-5 image against the virtual card, answers sent
# without any pacing. Prints the ISP exchanges per second over the image
# load, the updater's CPU time and its peak memory.
#
#   bench/viper_unpaced.sh [BUILD_DIR]      (default: build)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
[ -x "$build/updater" ] && [ -x "$build/cardsim" ] || {
  cmake -S "$here" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target updater cardsim >/dev/null
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 2097152 /dev/urandom > Device5.bin
head -c 4096 /dev/urandom > FDriver.bin

# The updater runs under /usr/bin/time as cardsim's command, so the CPU time
# and peak memory are the updater's own.
"$build/cardsim" --state state -- \
  /usr/bin/time -v -o time.txt "$build/updater" COM1 VIPER Device5.bin \
  < /dev/null > out.txt

cmp -s Device5.bin state/flash-device5.bin || { echo "flash differs from the image" >&2; exit 1; }

# Exchanges per second over the data window, from the card's timeline (ms
# since start): the first Data Block after the erase and the status request,
# to the end of the window.
awk '
  / vxp erase device 5$/ { erased = 1; frames = 0; next }
  erased && / isp-frame / { frames++; if (frames == 2) first = $1; next }
  erased && / vxp window done / { last = $1; blocks = $5; exit }
  END {
    secs = (last - first) / 1000
    printf "data exchanges       %d in %.2f s\n", blocks, secs
    if (secs > 0) printf "exchanges per second %.0f\n", (blocks - 1) / secs
  }' state/timeline.log
awk -F': ' '
  /User time/ {u=$2} /System time/ {s=$2} /Maximum resident/ {m=$2} /Elapsed/ {e=$2}
  END {
    printf "updater cpu time     %.2f s (user %.2f, system %.2f)\n", u + s, u, s
    printf "updater peak memory  %d KiB\n", m
    printf "updater wall time    %s (16.5 s of it fixed protocol pauses)\n", e
  }' time.txt

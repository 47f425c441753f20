#!/bin/sh
# MICRO with a 256 KiB body against the virtual card: the time the run
# takes beyond its fixed protocol pauses.
#
#   bench/micro_unpaced.sh [BUILD_DIR]      (default: build)
#
# The run is timed at the real clock (no time scale). The fixed pauses of
# the run add up to PAUSES_MS below; what remains is the host's own work,
# the waits for the card's answers and the transfer itself. The virtual card
# delivers bytes as fast as the pseudo-terminal carries them, so the figure
# measures the updater, not a 115200 bit/s wire.
set -eu

BUILD=$(cd "${1:-build}" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# Fixed pauses in ms: probe 2 x 100; "#MICROMODE" and "#MICRO" 2 x 50;
# drain 1000; clock mode 1000 + 4 x 1000; new bit rate 1000; rate switch 50;
# 0x40 1000; main kernel 4 x 10 + 100 + 2000; 0x4F 1000; 0x43 1000; write
# kernel 4 x 10 + 10; head blocks 8 x 5 x 5; status before the body 1000.
PAUSES_MS=13740

head -c 1024 /dev/urandom > head.bin
head -c 262144 /dev/urandom > body.bin
head -c 4 /dev/zero > stop.bin
srec() { objcopy -I binary -O srec --srec-forceS3 --srec-len=16 --change-addresses "$2" "$1" "$1.srec"; }
srec head.bin 0
srec body.bin 0x800
srec stop.bin 0xFFFF0000
cat head.bin.srec body.bin.srec stop.bin.srec > appMain.mot
for k in uGen7144.cde Genm7144.cde Genw7144.cde; do head -c 2000 /dev/urandom > "$k"; done

start=$(date +%s%N)
"$BUILD/cardsim" --state state --kill-after 300 -- "$BUILD/updater" COM1 MICRO > out.txt
end=$(date +%s%N)

total_ms=$(( (end - start) / 1000000 ))
if ! grep -q "END...REBOOT THE DEVICE!" out.txt; then
  echo "the run did not complete:" >&2
  tr '\r' '\n' < out.txt | grep -v "Job at" | tail -5 >&2
  exit 1
fi
head -c $((0x800 + 262144)) state/micro-flash.bin | tail -c 262144 > flash-body.bin
if ! cmp -s flash-body.bin body.bin; then
  echo "the card's flash does not hold the body" >&2
  exit 1
fi
blocks=$(sed -n 's/^boot_blocks_programmed=//p' state/card.txt)
echo "MICRO, 256 KiB body, $blocks blocks programmed"
echo "whole run:              $total_ms ms"
echo "fixed pauses:           $PAUSES_MS ms"
echo "outside the pauses:     $(( total_ms - PAUSES_MS )) ms"

#!/bin/sh
# scripts/rack against three virtual cards in one port directory and a port
# with no card: two VERIFY jobs succeed, one finds differing words, one
# port cannot be opened. Each log holds its own whole console; the table
# names each result, and the rack's status says that a port failed.
set -u
rack=$1 updater=$2 cardsim=$3
dir=$(mktemp -d)
pids=
trap 'kill $pids 2>/dev/null; wait; rm -rf "$dir"' EXIT
cd "$dir"
head -c 4096 /dev/urandom >Device1.bin
cp Device1.bin same.bin
head -c 4096 /dev/urandom >other.bin
for card in COM1:same.bin COM2:same.bin COM3:other.bin; do
  "$cardsim" --port-dir ports --port "${card%%:*}" --flash "1=${card#*:}" >/dev/null &
  pids="$pids $!"
done
for port in COM1 COM2 COM3; do
  for _ in $(seq 100); do [ -e "ports/$port" ] && break; sleep 0.1; done
done
UPDATER_PORT_DIR=$dir/ports "$rack" --updater "$updater" --logs logs \
  COM1 COM2 COM3 COM9 -- VERIFY Device1.bin >table.txt
status=$?
fail() { echo "$1"; cat table.txt; exit 1; }
[ $status -eq 1 ] || fail "rack exit status $status, expected 1"
for row in "COM1  done" "COM2  done" "COM3  failed" "COM9  no port" "2 of 4 ports done"; do
  grep -q "^$row" table.txt || fail "no row '$row'"
done
for port in COM1 COM2 COM3 COM9; do
  [ "$(grep -c 'Exit updater' "logs/$port.log")" -eq 1 ] || fail "log of $port is not one whole console"
done
grep -q "Mismatch Total 0 " logs/COM1.log || fail "COM1 did not verify"
grep -q "Mismatch Total 0 " logs/COM3.log && fail "COM3 verified a different device"
grep -q "Failed to open COM9" logs/COM9.log || fail "COM9 log lacks the open failure"
echo "rack OK"

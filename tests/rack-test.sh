#!/bin/sh
# scripts/rack against virtual cards in one port directory.
# First run: three cards and a port with no card: two VERIFY jobs succeed,
# one finds differing words, one port cannot be opened. Each log holds its
# own whole console; the table names each result, and the rack's status says
# that a port failed. Each updater writes a trace of its own.
# Second run, with --timeout: a silent card and an updater that ignores
# SIGTERM are both stopped and reported as timed out, and each updater was
# given the connect time limit. The second run keeps its logs in a folder of
# its own. --help names the options.
set -u
rack=$1 updater=$2 cardsim=$3
dir=$(mktemp -d)
pids=
trap 'kill $pids 2>/dev/null; wait; rm -rf "$dir"' EXIT
cd "$dir"
fail() { echo "$1"; cat table.txt; exit 1; }

"$rack" --help >table.txt || fail "rack --help exited $?"
for option in --updater --logs --timeout UPDATER_CONNECT_TIMEOUT "timed out" "exit status"; do
  grep -q -- "$option" table.txt || fail "rack --help does not name $option"
done

head -c 4096 /dev/urandom >Device1.bin
cp Device1.bin same.bin
head -c 4096 /dev/urandom >other.bin
for card in COM1:--flash=1=same.bin COM2:--flash=1=same.bin COM3:--flash=1=other.bin \
            COM4:--fault=silent; do
  "$cardsim" --port-dir ports --port "${card%%:*}" "${card#*:}" >/dev/null &
  pids="$pids $!"
done
for port in COM1 COM2 COM3 COM4; do
  for _ in $(seq 100); do [ -e "ports/$port" ] && break; sleep 0.1; done
done
export UPDATER_PORT_DIR="$dir/ports"
UPDATER_TRACE=trace.txt "$rack" --updater "$updater" --logs logs COM1 COM2 COM3 COM9 -- VERIFY Device1.bin >table.txt
status=$?
[ $status -eq 1 ] || fail "rack exit status $status, expected 1"
for row in "COM1  done" "COM2  done" "COM3  failed" "COM9  no port" "2 of 4 ports done"; do
  grep -q "^$row" table.txt || fail "no row '$row'"
done
first=logs/$(ls logs)
for port in COM1 COM2 COM3 COM9; do
  grep -q " $first/$port.log\$" table.txt || fail "the table does not name $first/$port.log"
  [ "$(grep -c 'Exit updater' "$first/$port.log")" -eq 1 ] ||
    fail "log of $port is not one whole console"
done
grep -q "Mismatch Total 0 " "$first/COM1.log" || fail "COM1 did not verify"
grep -q "Mismatch Total 0 " "$first/COM3.log" && fail "COM3 verified a different device"
grep -q "Failed to open COM9" "$first/COM9.log" || fail "COM9 log lacks the open failure"
for port in COM1 COM2 COM3; do
  grep -q "open ...\\\\$port " "trace-$port.txt" || fail "no trace of its own for $port"
done

# COM4's updater waits for its silent card for ever (the connect time limit
# is switched off so that --timeout is what stops it); COM8's ignores SIGTERM.
cat >stuck <<END
#!/bin/sh
echo "connect timeout \${UPDATER_CONNECT_TIMEOUT-unset}"
[ "\$1" = COM8 ] && { trap '' TERM; while :; do sleep 0.1; done; }
UPDATER_CONNECT_TIMEOUT= exec "$updater" "\$@"
END
chmod +x stuck
# The run must end by itself within the minute, whatever its updaters do.
timeout 60 "$rack" --updater ./stuck --logs logs --timeout 1 COM4 COM8 -- STATUS >table.txt
status=$?
[ $status -eq 1 ] || fail "rack --timeout exit status $status, expected 1"
for row in "COM4  timed out" "COM8  timed out" "0 of 2 ports done"; do
  grep -q "^$row" table.txt || fail "no row '$row'"
done
[ "$(ls logs | wc -l)" -eq 2 ] || fail "two runs did not keep two log folders: $(ls logs)"
second=logs/$(ls logs | grep -vx "${first#logs/}")
grep -q "Now communicating" "$second/COM4.log" || fail "COM4's log lacks its updater's last words"
for port in COM4 COM8; do
  grep -q "^connect timeout 1\$" "$second/$port.log" ||
    fail "$port's updater was not given --timeout as its connect time limit"
done
echo "rack OK"

#!/bin/sh
# Makes the Wine slots the Windows scenarios run in, side by side: DIR/slotK
# holds a fresh prefix and the fixed COM1 link path of that prefix.
set -e
dir=$1
slots=$2
here=$(dirname "$0")
k=0
while [ "$k" -lt "$slots" ]; do
  mkdir -p "$dir/slot$k"
  "$here/wine-prefix.sh" "$dir/slot$k/prefix" "$dir/slot$k/com1" &
  k=$((k + 1))
done
wait

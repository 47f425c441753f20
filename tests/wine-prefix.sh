#!/bin/sh
# Makes the Wine prefix the Windows scenarios run in: a fresh prefix whose
# COM1 is the fixed path $2, where cardsim links its pseudo-terminal for
# each run. (Wine's own serial-port discovery would otherwise point COM1 at
# /dev/ttyS0 whenever it starts.)
set -e
prefix=$1
com1=$2
rm -rf "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$com1" /f >/dev/null 2>&1
wineserver -w

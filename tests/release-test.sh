#!/bin/sh
# Checks of the release:
#   release-test.sh pages CARDSIM CARDSIM_PAGE PAGE...   the manual pages
#       render without a warning, and cardsim's page names every option and
#       fault of its --help
#   release-test.sh deb CPACK BUILD_DIR      packs the Debian package, installs
#       it into a scratch root and runs the installed updater, alone and
#       under the installed updater-rack, against the installed cardsim; every
#       relative link of the installed documents resolves inside the package;
#       lintian (when installed) finds no error or warning
#   release-test.sh versions VERSION EXE ZIP BUILD_DIR
#       the Windows version resource, the zip and its README, the package and
#       its changelog all carry CMake's version
set -eu
mode=$1
shift
fail() { echo "FAIL: $*"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

case $mode in
pages)
  cardsim=$1 cardsim_page=$2
  shift
  for page; do
    warnings=$(groff -ww -z -man "$page" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
  done
  groff -man -Tascii -P-cbou "$cardsim_page" >"$scratch/cardsim.txt"
  "$cardsim" --help | sed -n 's/^  \([^ =[][^ =[]*\).*/\1/p' | while read -r entry; do
    grep -qF -- "$entry" "$scratch/cardsim.txt" || fail "cardsim.1 lacks $entry of cardsim --help"
  done
  ;;
deb)
  cpack=$1 build=$2
  (cd "$build" && "$cpack" -G DEB >"$scratch/cpack.log") || { cat "$scratch/cpack.log"; fail "cpack"; }
  deb=$(sed -n 's/.*package: \(.*\.deb\) generated.*/\1/p' "$scratch/cpack.log")
  dpkg -x "$deb" "$scratch/root"
  bin=$scratch/root/usr/bin
  [ "$(ls "$bin" | tr '\n' ' ')" = "cardsim updater updater-rack " ] ||
    fail "programs installed: $(ls "$bin")"
  [ "$(ls "$scratch/root/usr/share/man/man1" | tr '\n' ' ')" = \
    "cardsim.1.gz updater-rack.1.gz updater.1.gz " ] ||
    fail "manual pages installed: $(ls "$scratch/root/usr/share/man/man1")"
  # The documents name each other by markdown links, relative to the file,
  # and the README names them as `docs/NAME`, relative to its own folder.
  doc=$scratch/root/usr/share/doc/updater
  find "$doc" -name '*.md' | while read -r md; do
    { grep -o '](\([^)]*\))' "$md" | sed "s|^](\(.*\))\$|$(dirname "$md") \1|"
      grep -o '`docs/[^`]*`' "$md" | sed "s|^\`\(.*\)\`\$|$doc \1|"
    } | while read -r base target; do
      case $target in *:* | "#"*) continue ;; esac
      [ -e "$base/${target%%#*}" ] || fail "${md#"$doc"/} links to $target, which the package lacks"
    done
  done
  cd "$scratch"
  out=$(printf q | "$bin/cardsim" --model HDMITOSDI --kill-after 60 -- "$bin/updater" COM1 STATUS) ||
    fail "installed updater COM1 STATUS exited $?: $out"
  case $out in *"HDMI TO SDI"*"END OF VXP STATUS"*) ;; *) fail "no status report: $out" ;; esac
  head -c 4096 /dev/urandom >Device1.bin
  "$bin/cardsim" --flash 1=Device1.bin --kill-after 60 -- "$bin/updater-rack" COM1 -- VERIFY Device1.bin \
    >rack.txt || fail "installed updater-rack exited $?: $(cat rack.txt)"
  grep -q "^COM1  done .*rack-logs/" rack.txt || fail "installed updater-rack: $(cat rack.txt)"
  if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian"
  else
    echo "NOTE: lintian is not installed: the package is not linted."
  fi
  ;;
versions)
  version=$1 exe=$2 zip=$3 build=$4
  IFS=. read -r major minor patch <<END
$version
END
  resource=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$exe")
  for expected in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
                  "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\""; do
    printf '%s\n' "$resource" | grep -qF "$expected" || fail "updater.exe's resource lacks $expected"
  done
  [ "$(basename "$zip")" = "updater-$version-windows.zip" ] || fail "zip named $(basename "$zip")"
  (cd "$scratch" && cmake -E tar xf "$zip" README.txt)
  grep -q "^Version $version " "$scratch/README.txt" || fail "the zip's README.txt does not name $version"
  deb=$build/updater_${version}_$(dpkg --print-architecture).deb
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb has version $(dpkg-deb -f "$deb" Version)"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/updater/changelog.gz | gzip -d |
    head -n 1 | grep -qF "updater ($version)" || fail "the changelog's last entry is not $version"
  ;;
*)
  fail "unknown check $mode"
  ;;
esac
echo "release $mode OK"

#!/usr/bin/env bash
# The Debian packages made from this build tree: lintian finds neither error nor warning in them,
# apt can install them from Debian's archive as they stand, and unpacked into a scratch root they
# hold the programs, compressed manual pages, desktop entry, icons, copyright, changelog and
# examples; the command line's package pulls in no Qt, its quilmark completes the example, and the
# window's package depends on it and its desktop entry validates.
# Usage: package_test.sh CPACK BUILD_DIR SOURCE_DIR
set -euo pipefail
cpack=$1 build=$2 source=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  exit 1
fi
deb=$(ls "$scratch"/package/quilmark_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libzip4 libpugixml1v5 libc6; do
  [[ $depends == *"$library"* ]] || { echo "Depends lacks $library"; exit 1; }
done
# The main package needs no office (the live plugin's package brings it) and no Qt (the window's).
[[ $depends != *libreoffice* && $depends != *uno* ]] || { echo "Depends names the office"; exit 1; }
[[ $depends != *qt* && $depends != *fonts-* ]] || { echo "Depends names the window's"; exit 1; }
# Each line of the long description starts with a blank, never with a list's ";", and the
# summary is not said twice.
description=$(dpkg-deb -f "$deb" Description)
if tail -n +2 <<<"$description" | grep -qv '^ [^;]' ||
  [ "$(head -1 <<<"$description")" = "$(sed -n '2s/^ //p' <<<"$description")" ]; then
  echo "description lines malformed:"; dpkg-deb -f "$deb" Description; exit 1
fi

root=$scratch/root
dpkg -x "$deb" "$root"
live_deb=$(ls "$scratch"/package/quilmark-live_*.deb 2>/dev/null || true)
gui_deb=$(ls "$scratch"/package/quilmark-gui_*.deb 2>/dev/null || true)
# Nothing it recommends is missing from the archive: the plugin's package is only suggested.
[ -z "$(dpkg-deb -f "$deb" Recommends)" ] || { echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"; exit 1; }
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" $gui_deb $live_deb
fi
# apt finds everything the package depends on (simulated: the machine is left as it is).
apt-get install -s -qq "$deb" $gui_deb >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log"; exit 1; }
if [ -n "$live_deb" ]; then
  [[ $(dpkg-deb -f "$deb" Suggests) == *quilmark-live* ]] || { echo "no Suggests"; exit 1; }
  [[ $(dpkg-deb -f "$live_deb" Depends) == *"quilmark (="* ]] || { echo "live Depends"; exit 1; }
  dpkg -x "$live_deb" "$root"
fi
doc=usr/share/doc/quilmark
for file in usr/bin/quilmark usr/share/man/man1/quilmark.1.gz $doc/copyright $doc/changelog.gz \
  "$doc/examples/图斑示例.xlsx" "$doc/examples/三调地类图斑示例.gpkg"; do
  [ -e "$root/$file" ] || { echo "package lacks /$file"; exit 1; }
done
zcat "$root/$doc/changelog.gz" | head -1 | grep -q "^quilmark ($(dpkg-deb -f "$deb" Version))" ||
  { echo "changelog does not start with this version"; exit 1; }

cp "$source/examples/图斑示例.xlsx" "$scratch/in.xlsx"
"$root/usr/bin/quilmark" --land-use survey-level1 --convert-zone-codes --cross-tab \
  -o "$scratch/out.xlsx" "$scratch/in.xlsx"
[ -s "$scratch/out.xlsx" ] || { echo "no result written"; exit 1; }
"$root/usr/bin/quilmark" --version | grep -Eq '^quilmark [0-9]+\.[0-9]+\.[0-9]+$'

# A build with the live office carries its plugin, which the installed program finds: with no
# office listening, the run answers that none is running.
if [ -e "$build/src/app/quilmark-live.so" ]; then
  [ -n "$live_deb" ] || { echo "no quilmark-live package"; exit 1; }
  [ -e "$root/usr/lib/quilmark/quilmark-live.so" ] || { echo "package lacks the live plugin"; exit 1; }
  set +e
  answer=$("$root/usr/bin/quilmark" --live --zone-totals --office-port 1 2>&1)
  status=$?
  set -e
  [ $status -eq 1 ] && [[ $answer == *"当前没有运行Excel程序!"* ]] ||
    { echo "live run from the package: status $status: $answer"; exit 1; }
fi

[ ! -e "$root/usr/bin/quilmark-gui" ] || { echo "the main package holds the window"; exit 1; }
if [ -e "$build/src/app/quilmark-gui" ]; then
  [ -n "$gui_deb" ] || { echo "no quilmark-gui package"; exit 1; }
  gui_depends=$(dpkg-deb -f "$gui_deb" Depends)
  [[ $gui_depends == *"quilmark (= $(dpkg-deb -f "$deb" Version))"* ]] || { echo "gui Depends"; exit 1; }
  dpkg -x "$gui_deb" "$root"
  [ -e "$root/usr/share/doc/quilmark-gui/copyright" ] || { echo "gui package lacks its copyright"; exit 1; }
  desktop-file-validate "$root/usr/share/applications/quilmark.desktop"
  # Quilmark sums workbooks but does not show them: it must not become their default program.
  ! grep -q '^MimeType=' "$root/usr/share/applications/quilmark.desktop" ||
    { echo "the desktop entry claims file types"; exit 1; }
  for size in 16 24 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/quilmark.png
    [ -e "$icon" ] || { echo "package lacks the ${size}px icon"; exit 1; }
  done
  for library in libqt6widgets6 fonts-wqy-microhei; do
    [[ $gui_depends == *"$library"* ]] || { echo "gui Depends lacks $library"; exit 1; }
  done
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/quilmark-gui" --version | grep -q quilmark-gui
fi
echo "package ok: $(basename "$deb")"

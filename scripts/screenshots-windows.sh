#!/usr/bin/env bash
# Screenshots of korvax.exe, the Win32 desktop scanner, for the README's Windows section.
# Starts it under Wine on a virtual X server (Xvfb) in Wine's own virtual desktop (`wine
# explorer /desktop=...`, which draws Windows' title bars), with Windows 10's window metrics,
# presses its buttons through the window system (desktop_driver.exe, the helper of the
# window tests) and captures the desktop with ImageMagick's import:
#
#   windows-main.png         the main window after start-up
#   windows-settings.png     the main window and the settings window, the demo folder listed
#   windows-check.png        the main window while a check runs
#   windows-statistics.png   the main window and the statistics window with the check's rows
#   windows-restore.png      the restore window, opened from the statistics list's menu, one
#                            file put back
#   windows-update.png       the update window, a path typed in
#   windows-english.png      the main and settings windows in English (KORVAX_LANG=en)
#
#   scripts/screenshots-windows.sh [OUTDIR]        (default: docs/screenshots)
#
# It builds the x86_64 programs with the windows-x64 preset first; KORVAX_WINDOWS_BIN=DIR
# uses the programs already built in DIR instead (korvax.exe, cpudll.dll, virbase.kvd,
# korvax-scan.exe, desktop_driver.exe and korvax-quiet-cpudll.dll side by side).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${1:-}" != "--inside-xvfb" ]; then
  out=$(realpath -m "${1:-$root/docs/screenshots}")
  scripts/install-deps.sh
  if [ -z "${KORVAX_WINDOWS_BIN:-}" ]; then
    cmake --preset windows-x64 >/dev/null
    cmake --build --preset windows-x64 --target korvax korvax-scan desktop_driver cpudll korvax_quiet_cpudll \
      default_database >/dev/null
  fi
  mkdir -p "$out"
  exec xvfb-run -a -s "-screen 0 1024x640x24 -nolisten tcp" "$0" --inside-xvfb "$out"
fi
out=$2
bin=$(realpath "${KORVAX_WINDOWS_BIN:-$root/build/windows-x64/bin}")

# Russian window titles travel as command-line arguments: the locale must be UTF-8.
export LC_ALL=C.UTF-8
work=$(mktemp -d /tmp/korvax-windows-shots.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
loader=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
cleanup() {
  "$server" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$loader" wineboot --init </dev/null >/dev/null 2>&1
"$server" -w
# Windows 10's window metrics, as the window tests have them; their null display driver is
# left out: here the windows are drawn.
"$loader" regedit /S "Z:${root//\//\\}\\scripts\\wine-test-prefix.reg" </dev/null >/dev/null 2>&1
"$loader" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f </dev/null >/dev/null 2>&1
# Every program of the prefix in one virtual desktop (as `wine explorer /desktop=` makes
# it), so that the helper finds korvax.exe's windows there.
"$loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
"$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1000x620 /f </dev/null >/dev/null 2>&1
"$server" -w

# Drive K: is the demo's folder, so that the pictures show short Windows paths.
k=$work/k
mkdir -p "$k"
ln -s "$k" "$WINEPREFIX/dosdevices/k:"
cp "$bin/korvax.exe" "$bin/cpudll.dll" "$bin/virbase.kvd" "$bin/korvax-scan.exe" "$bin/desktop_driver.exe" "$k/"
# A check started at a load of 60 % or more adds no worker until the load drops, and the
# machine that makes the pictures is often busy building: the window tests' load library,
# which always reports 5 %, stands in for cpudll.dll, so that the pictures show a check at
# work (and a load of 5 %).
if [ -f "$bin/korvax-quiet-cpudll.dll" ]; then cp "$bin/korvax-quiet-cpudll.dll" "$k/cpudll.dll"; fi
python3 data/make_demo_samples.py "$k/demo" --tree >/dev/null
chmod 644 "$k/demo/tree/downloads/locked.exe"
# Enough copies of its programs that a check lasts a few seconds and can be caught running.
for set in $(seq -w 1 300); do
  mkdir -p "$k/demo/tree/archive/set$set"
  cp -r "$k/demo/tree/games" "$k/demo/tree/tools" "$k/demo/tree/archive/set$set/"
done
mkdir -p "$k/demo/updates"
cp "$bin/virbase.kvd" "$k/demo/updates/extra.kvd"
# A cure already in the user's store for the restore window, whatever the processor load
# lets the desktop's check do: korvax-scan.exe keeps its originals in the same store.
cp -r "$k/demo/tree/games" "$k/demo/earlier"
"$loader" 'K:\korvax-scan.exe' --quiet --db 'K:\virbase.kvd' 'K:\demo\earlier' </dev/null >/dev/null 2>&1 || true

drive() { "$loader" 'K:\desktop_driver.exe' "$@" </dev/null; }
# The virtual desktop, its empty background cut away.
shot() {
  sleep "${2:-0.8}"
  import -window root "$work/root.png"
  convert "$work/root.png" -crop 1000x620+0+0 +repage -fuzz 1% -trim +repage \
    -bordercolor white -border 6 "$out/$1.png"
  echo "$out/$1.png"
}
start() {
  (cd "$k" && "$loader" 'K:\korvax.exe' 'K:\demo\tree' </dev/null >>"$work/wine.log" 2>&1 &)
  sleep 4  # Wine's desktop, the clock measured, the first refreshes
}
stop() {
  "$server" -k 2>/dev/null || true
  sleep 1
}

start
shot windows-main
drive press Korvax 101            # "Настройки"
shot windows-settings
drive press Korvax 101
drive press Korvax 103            # "Начать проверку"
shot windows-check 4
sleep 4
drive press Korvax 104            # "Остановить проверку"; the teardown ends the workers
sleep 3
drive press Korvax 102            # "Статистика"
shot windows-statistics 1.2

# The list's menu on its first row, its second item ("Резервные копии..."): the restore
# window, where the first file the store lists is put back.
read -r x y _ _ < <(drive where "Статистика" 309)
xdotool mousemove $((x + 60)) $((y + 30)) click 3
sleep 0.6
xdotool key Down Down Return
sleep 1
drive select "Резервные копии" 501 0
drive press "Резервные копии" 504
shot windows-restore 1.5
drive press "Резервные копии" 505
drive press Korvax 102

drive press Korvax 105            # "Обновить"
drive type "Обновление" 401 'K:\demo\updates\extra.kvd'
shot windows-update
stop

export KORVAX_LANG=en
start
drive press Korvax 101
shot windows-english
stop

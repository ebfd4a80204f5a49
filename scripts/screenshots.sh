#!/usr/bin/env bash
# Screenshots of the desktop scanner for the README. Starts korvax on a virtual X server
# (Xvfb), presses its buttons with xdotool as a user would, and captures each window with
# ImageMagick's import:
#
#   main-idle.png       the main window after start-up
#   settings.png        the settings window, with the demo folder listed
#   main-check.png      the main window while a check runs
#   statistics.png      the statistics window with the check's rows
#   desktop.png         the main window with the statistics window beside it
#   update.png          the update window
#   restore.png         the restore window, opened from the statistics list's menu, with
#                       one file put back
#   english.png         the main and settings windows in English (KORVAX_LANG=en)
#
#   scripts/screenshots.sh [OUTDIR]        (default: docs/screenshots)
#
# It builds korvax with the default preset first; KORVAX_BIN=DIR uses the programs already
# built in DIR instead (korvax, libcpudll.so and virbase.kvd side by side).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${1:-}" != "--inside-xvfb" ]; then
  out=$(realpath -m "${1:-$root/docs/screenshots}")
  scripts/install-deps.sh
  if [ -z "${KORVAX_BIN:-}" ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target korvax default_database >/dev/null
  fi
  mkdir -p "$out"
  # A screen of its own, whatever display number is free.
  exec xvfb-run -a -s "-screen 0 1024x600x24 -nolisten tcp" "$0" --inside-xvfb "$out"
fi
out=$2
bin=$(realpath "${KORVAX_BIN:-$root/build/default/bin}")

# A short, steady path for the demo folder, since it shows in the pictures.
work=/tmp/korvax-demo
mkdir "$work" 2>/dev/null || work=$(mktemp -d)
korvax_pid=""
cleanup() {
  if [ -n "$korvax_pid" ]; then
    kill "$korvax_pid" 2>/dev/null || true
    wait "$korvax_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The demo folder, plus enough copies of its programs that a check lasts a few seconds and
# can be caught running.
python3 data/make_demo_samples.py "$work/demo" --tree >/dev/null
tree=$work/demo/tree
for set in $(seq -w 1 600); do
  mkdir -p "$tree/archive/set$set"
  cp -r "$tree/games" "$tree/tools" "$tree/archive/set$set/" 2>/dev/null || true
done

# A window manager, for the windows' title bars.
openbox --sm-disable >/dev/null 2>&1 &
sleep 1

# The processor load over one second, in percent.
load() {
  local before after
  before=$(head -n 1 /proc/stat); sleep 1; after=$(head -n 1 /proc/stat)
  awk -v a="$before" -v b="$after" 'BEGIN { split(a, x, " "); split(b, y, " "); total = 0;
    for (i = 2; i <= 9; i++) total += y[i] - x[i]; idle = y[5] - x[5] + y[6] - x[6];
    print (total > 0 ? int((total - idle) * 100 / total) : 0) }'
}
# A check started at a load of 60 % or more adds no worker until the load drops, so the
# "check running" picture waits for a quiet processor (at most three minutes).
wait_for_quiet() {
  local tries
  for tries in $(seq 180); do
    [ "$(load)" -lt 50 ] && return 0
    [ "$tries" -eq 1 ] && echo "Waiting for the processor to quieten down..." >&2
  done
  echo "The processor stays busy: the check may not get going." >&2
}

# The database is looked for in the folder the program starts in: a copy beside the demo
# tree, as ./run.sh does it.
cp "$bin/virbase.kvd" "$work/demo/"
cd "$work/demo"
# The user's data folder, where every cure keeps its original: the demo's own, never the
# real home's.
export XDG_DATA_HOME=$work/data
# Cures already in that store for the restore window, whatever the processor load lets the
# desktop's check do: korvax-scan keeps its originals in the same store.
cp -r "$tree/games" "$work/demo/earlier"
"$bin/korvax-scan" --quiet "$work/demo/earlier" >/dev/null || true
"$bin/korvax" "$tree" 2>"$work/korvax.log" &
korvax_pid=$!

window() { xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
shot() { import -frame -window "$1" "$out/$2.png"; echo "$out/$2.png"; }
main=$(window Korvax)
# The main window's buttons, one under the other: Настройки, Статистика, Начать проверку,
# Остановить проверку, Обновить (their centres, in the window's own coordinates).
press() { xdotool mousemove --window "$main" 76 $((15 + ($1 - 1) * 27)) click 1; sleep "${2:-0.6}"; }
park() { xdotool mousemove 1000 590; }
# The whole screen, the empty desktop around the windows painted over and cut away.
screen() {
  import -window root "$work/root.png"
  convert "$work/root.png" -fill '#4d7095' -draw 'color 0,0 floodfill' -trim +repage \
    -bordercolor '#4d7095' -border 8 "$out/$1.png"
  echo "$out/$1.png"
}

sleep 1.5  # the first refreshes of the figures
park
shot "$main" main-idle

press 1 1.5
settings=$(window "Настройки")
park
shot "$settings" settings
press 1

wait_for_quiet
press 3 1.5  # start; the check is under way
park
shot "$main" main-check
press 4 3    # stop; the teardown ends the workers

press 2 1
statistics=$(window "Статистика")
park
sleep 0.6    # one more refresh of the counters
shot "$statistics" statistics
screen desktop

# The list's context menu on its first row, then its second item, "Резервные копии...",
# which is there on every row (the menu opens at the pointer, one item under the other).
xdotool mousemove --window "$statistics" 200 75 click 3
sleep 0.6
xdotool mousemove_relative 30 36 click 1
restore=$(window "Резервные копии")
sleep 0.6
# The first file the store lists, put back.
xdotool mousemove --window "$restore" 200 40 click 1
sleep 0.3
restore_button() {
  # "Восстановить", the first of the two buttons at the window's bottom right.
  local geometry width height
  geometry=$(xdotool getwindowgeometry --shell "$restore")
  width=$(sed -n 's/^WIDTH=//p' <<<"$geometry"); height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
  xdotool mousemove --window "$restore" $((width - 140)) $((height - 22)) click 1
}
restore_button
sleep 1
park
shot "$restore" restore
xdotool windowclose "$restore" 2>/dev/null || xdotool key --window "$restore" Escape
sleep 0.3
press 2

press 5 1
update=$(window "Обновление")
# Type a path into the path box, as the user would before pressing OK.
xdotool mousemove --window "$update" 150 18 click 1
xdotool type --delay 5 "$work/updates/extra.kvd"
park
sleep 0.3
shot "$update" update

# The English windows: the program once more, with KORVAX_LANG=en.
kill "$korvax_pid"
wait "$korvax_pid" 2>/dev/null || true
KORVAX_LANG=en "$bin/korvax" "$tree" 2>>"$work/korvax.log" &
korvax_pid=$!
main=$(window Korvax)
sleep 1.5
press 1 1.5
window Settings >/dev/null
park
sleep 0.3
screen english

#!/usr/bin/env bash
# Checks an installed Korvax the way a user meets it: every file in its place, with
# libcpudll.so in the programs' private folder and never in the system's library path; the
# desktop entry, metadata and manual pages valid; --version of every program from an
# unrelated folder; a check of the demo samples with the installed programs and database;
# and the launcher's start script: the user's data folder made, the default database copied
# there once and korvax started in it.
#
#   tests/install/check_installed.sh ROOT PREFIX
#
# ROOT is where the tree lies ("/" for a real installation, else a DESTDIR or scratch
# root), PREFIX the prefix it was installed for (/usr, /opt/korvax, ...). With a display
# ($DISPLAY set and QT_QPA_PLATFORM not "offscreen"), korvax's main window must appear on
# it; without one, korvax runs on Qt's offscreen platform.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -eq 2 ] || { echo "usage: $0 ROOT PREFIX" >&2; exit 2; }
root=${1%/}
prefix=$2
top=$root$prefix

fail() { echo "FAIL: $*" >&2; exit 1; }
ok() { echo "ok: $*"; }

work=$(mktemp -d)
korvax_pid=""
cleanup() {
  if [ -n "$korvax_pid" ]; then kill "$korvax_pid" 2>/dev/null || true; wait "$korvax_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM  # a stopped test tidies up as well
mkdir "$work/empty"

# --- Files -------------------------------------------------------------------------------
for file in bin/korvax bin/korvax-scan bin/kvdtool share/korvax/virbase.kvd \
            share/man/man1/korvax.1.gz share/man/man1/korvax-scan.1.gz share/man/man1/kvdtool.1.gz \
            share/man/man5/kvd.5.gz share/doc/korvax/copyright share/doc/korvax/changelog.gz; do
  [ -f "$top/$file" ] || fail "$prefix/$file is missing"
done
# The desktop entry is the one that runs Korvax's start script (other packages' entries may
# lie beside it); its name is the application id the icon and the metadata share.
desktop=$(grep -l '^Exec=.*/korvax-start' "$top"/share/applications/*.desktop 2>/dev/null || true)
[ "$(echo "$desktop" | wc -w)" -eq 1 ] || fail "expected one desktop entry that runs korvax-start, found: $desktop"
app_id=$(basename "$desktop" .desktop)
metainfo=$top/share/metainfo/$app_id.metainfo.xml
icon=$top/share/icons/hicolor/scalable/apps/$app_id.svg
[ -f "$metainfo" ] && [ -f "$icon" ] || fail "no metadata or icon for the application id $app_id"
grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry does not name its icon $app_id"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "the metadata does not name the desktop entry $app_id.desktop"
ok "files in place"

# libcpudll.so: one copy, in a folder of its own that the programs' RUNPATH names.
library=$(find "$top"/lib* -name 'libcpudll.so*')
[ "$(echo "$library" | wc -w)" -eq 1 ] || fail "expected one libcpudll.so, found: $library"
private=$(dirname "$library")
[ "$(basename "$private")" = korvax ] || fail "libcpudll.so lies in ${private#"$root"}, not in a private folder"
for program in korvax korvax-scan; do
  runpath=$(readelf -d "$top/bin/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case $runpath in
    '$ORIGIN/'*) ;;
    *) fail "$program's RUNPATH is '$runpath', not relative to the program" ;;
  esac
  [ "$(realpath -m "$top/bin/${runpath#'$ORIGIN/'}")" = "$(realpath "$private")" ] ||
    fail "$program's RUNPATH $runpath does not lead to ${private#"$root"}"
done
ok "libcpudll.so in ${private#"$root"}, reached through the RUNPATH"

# --- Desktop entry, metadata, manual pages ------------------------------------------------
desktop-file-validate "$desktop" || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log"; fail "appstreamcli validate"; }
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
start_script=${exec_line% %F}
start_script=${start_script#\"}
start_script=${start_script%\"}
[ -x "$root$start_script" ] || fail "the desktop entry runs $start_script, which is not there"
ok "desktop entry and metadata valid; the launcher runs $start_script"

for page in "$top"/share/man/man1/{korvax,korvax-scan,kvdtool}.1.gz "$top"/share/man/man5/kvd.5.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $(basename "$page"): $warnings"
  lexgrog "$page" >/dev/null || fail "lexgrog cannot read the NAME section of $(basename "$page")"
done
ok "manual pages render without warnings"

# --- The programs, from an unrelated folder ------------------------------------------------
cd "$work/empty"
version=$("$top/bin/korvax-scan" --version)
[[ $version =~ ^korvax-scan\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "korvax-scan --version: $version"
version=${version#korvax-scan }
for program in korvax kvdtool; do
  # korvax answers before it needs a display.
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$top/bin/$program" --version)" = "$program $version" ] ||
    fail "$program --version does not say $program $version"
done
ok "every program is version $version"

"$top/bin/kvdtool" verify "$top/share/korvax/virbase.kvd" >/dev/null || fail "kvdtool verify of the installed database"

# The demo samples, checked with the installed default database (no database in the
# current folder, no user's copy yet): every infected sample is cured back to its exact
# original bytes, the others are left as they were.
python3 "$source_dir/data/make_demo_samples.py" "$work/demo" --tree >/dev/null
export HOME=$work/home
unset XDG_DATA_HOME
mkdir -p "$HOME"
status=0
"$top/bin/korvax-scan" --verbose "$work/demo/infected" >"$work/scan.out" 2>"$work/scan.err" || status=$?
[ "$status" -eq 1 ] || { cat "$work/scan.out" "$work/scan.err"; fail "korvax-scan of the demo samples: exit status $status, not 1"; }
grep -qxF "korvax-scan: database $top/share/korvax/virbase.kvd (the default database)" "$work/scan.err" ||
  fail "korvax-scan did not take the installed default database: $(cat "$work/scan.err")"
for sample in "$work/demo/infected"/*; do
  cmp -s "$sample" "$work/demo/expected/$(basename "$sample")" || fail "$(basename "$sample") is not as expected after the check"
done
grep -q $'\tВылечен$' "$work/scan.out" || fail "no cure reported"
# And the demo folder ./run.sh opens, nested, with files to pass over among the programs.
status=0
"$top/bin/korvax-scan" "$work/demo/tree" >"$work/scan.out" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -q $'\tВылечен$' "$work/scan.out" ||
  { cat "$work/scan.out"; fail "korvax-scan of the demo folder: exit status $status, no cure"; }
ok "the demo samples and the demo folder checked and cured with the installed programs"

# Every cure kept its original in the user's own store, and can be undone from there.
store=$HOME/.local/share/korvax/backups
[ -s "$store/index.jsonl" ] || fail "no backup store at $store after the cures"
cured=$(grep -m1 $'\tВылечен$' "$work/scan.out" | cut -f1)
"$top/bin/korvax-scan" --restore "$store" "$cured" >"$work/restore.out" 2>&1 ||
  { cat "$work/restore.out"; fail "the restore of $cured from the user's store failed"; }
grep -q $'\tВосстановлен$' "$work/restore.out" || { cat "$work/restore.out"; fail "no restore row for $cured"; }
ok "the originals are in the user's store ($store) and a cure is undone from there"

# --- The launcher's start script -----------------------------------------------------------
with_display=false
if [ -n "${DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  with_display=true
else
  export QT_QPA_PLATFORM=offscreen
fi

# Starts the start script as the menu would, from an unrelated folder; returns once it has
# become korvax (it ends in exec) and korvax has bound its load library.
start_launcher() {
  (cd "$work/empty" && exec "$root$start_script") >"$work/korvax.log" 2>&1 &
  korvax_pid=$!
  local tries
  for tries in $(seq 300); do
    if [ "$(readlink "/proc/$korvax_pid/exe" 2>/dev/null)" = "$(realpath "$top/bin/korvax")" ] &&
       grep -q libcpudll "/proc/$korvax_pid/maps" 2>/dev/null; then
      return 0
    fi
    kill -0 "$korvax_pid" 2>/dev/null || { cat "$work/korvax.log"; fail "the start script ended before korvax ran"; }
    sleep 0.1
  done
  fail "korvax did not start within 30 seconds"
}
stop_launcher() {
  kill "$korvax_pid"
  wait "$korvax_pid" 2>/dev/null || true
  korvax_pid=""
}

data=$HOME/.local/share/korvax
start_launcher
[ "$(readlink "/proc/$korvax_pid/cwd")" = "$data" ] || fail "korvax runs in $(readlink "/proc/$korvax_pid/cwd"), not in $data"
cmp -s "$data/virbase.kvd" "$top/share/korvax/virbase.kvd" || fail "the user's database is not a copy of the installed default"
if $with_display; then
  timeout 30 xdotool search --sync --onlyvisible --name '^Korvax$' >/dev/null || fail "korvax's main window did not appear"
fi
[ -z "$(find "$data" -name '.virbase.kvd.*')" ] || fail "the start script left a partial copy behind"
stop_launcher
ok "the start script made $data, copied the default database and started korvax there"

# The copy is made only the first time: the user's own (here, updated) database stays.
printf 'update' >>"$data/virbase.kvd"
cp "$data/virbase.kvd" "$work/users-own.kvd"
start_launcher
stop_launcher
cmp -s "$data/virbase.kvd" "$work/users-own.kvd" || fail "the start script replaced the user's own database"

# korvax-scan without --db now takes the user's copy; a database in the current folder wins.
"$top/bin/korvax-scan" --verbose >/dev/null 2>"$work/scan.err" || true
grep -qxF "korvax-scan: database $data/virbase.kvd (the user's own copy)" "$work/scan.err" ||
  fail "korvax-scan did not take the user's copy: $(cat "$work/scan.err")"
cd "$data"
"$top/bin/korvax-scan" --verbose >/dev/null 2>"$work/scan.err" || true
grep -qxF "korvax-scan: database $data/virbase.kvd (in the current folder)" "$work/scan.err" ||
  fail "korvax-scan did not take the current folder's database: $(cat "$work/scan.err")"
cd "$work/empty"

# $XDG_DATA_HOME, when set, is the user's data folder.
export XDG_DATA_HOME=$work/xdg
start_launcher
[ "$(readlink "/proc/$korvax_pid/cwd")" = "$XDG_DATA_HOME/korvax" ] || fail "korvax does not run in \$XDG_DATA_HOME/korvax"
stop_launcher
ok "the user's database is copied once and then kept; \$XDG_DATA_HOME is followed"

echo "The installed tree under ${root:-/} for $prefix works."

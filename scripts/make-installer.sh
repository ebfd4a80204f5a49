#!/usr/bin/env bash
# Builds the Windows installer of a Windows build: korvax-setup-VERSION-ARCH.exe in the
# build folder (the `installer` target of the Windows builds runs this).
#
#   scripts/make-installer.sh BUILD_DIR ARCH VERSION [ICON]
#
# ARCH is x64 or x86. The programs of BUILD_DIR/bin (korvax.exe, korvax-scan.exe,
# kvdtool.exe, cpudll.dll) are staged stripped of their debug information (the builds keep
# it: tens of megabytes a program), with the default database and the manuals as text;
# makensis then packs packaging/windows/korvax.nsi. ICON, when given, is the installer's.
set -euo pipefail

[ $# -ge 3 ] || { echo "usage: $0 BUILD_DIR ARCH VERSION [ICON]" >&2; exit 2; }
build=$(cd "$1" && pwd)
arch=$2
version=$3
icon=${4:+$(realpath "$4")}
source=$(cd "$(dirname "$0")/.." && pwd)

case "$arch" in
  x64) triple=x86_64-w64-mingw32 ;;
  x86) triple=i686-w64-mingw32 ;;
  *) echo "make-installer: ARCH is x64 or x86, not '$arch'" >&2; exit 2 ;;
esac
for tool in makensis scdoc man col "$triple-strip"; do
  command -v "$tool" >/dev/null || { echo "make-installer: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }
done

stage=$build/installer-stage
rm -rf "$stage"
mkdir -p "$stage/doc"
for file in korvax.exe korvax-scan.exe kvdtool.exe cpudll.dll virbase.kvd; do
  [ -f "$build/bin/$file" ] || { echo "make-installer: $build/bin/$file is missing: build it first" >&2; exit 2; }
done
for program in korvax.exe korvax-scan.exe kvdtool.exe cpudll.dll; do
  "$triple-strip" --strip-all -o "$stage/$program" "$build/bin/$program"
done
cp "$build/bin/virbase.kvd" "$stage/virbase.kvd"

# Text a Windows user can open with a double click: UTF-8 with its byte-order mark (which
# every Notepad reads as UTF-8) and Windows' line ends.
windows_text() { printf '\xef\xbb\xbf'; sed 's/$/\r/'; }
# The manual pages as `man` lays them out, 80 columns wide, without the terminal's
# overstriking. A word too long for the line (a long option's table row) only runs over
# it; any other complaint of troff fails the build.
for page in korvax.1 korvax-scan.1 kvdtool.1 kvd.5; do
  scdoc < "$source/docs/man/$page.scd" > "$stage/doc/$page"
  MANWIDTH=80 man -E UTF-8 --nh --nj -l "$stage/doc/$page" 2>"$stage/doc/$page.warnings" | col -bx | windows_text \
    > "$stage/doc/${page%.*}.txt"
  if grep -v "warning .*: can't break line" "$stage/doc/$page.warnings" >&2 || [ ! -s "$stage/doc/${page%.*}.txt" ]; then
    echo "make-installer: the manual page $page does not render cleanly (above)" >&2
    exit 1
  fi
  rm "$stage/doc/$page" "$stage/doc/$page.warnings"
done
windows_text < "$source/docs/signatures.md" > "$stage/doc/signatures.txt"

installer=$build/korvax-setup-$version-$arch.exe
options=(-V2 -WX -INPUTCHARSET UTF8 "-DVERSION=$version" "-DARCH=$arch" "-DSTAGE=$stage" "-DOUTFILE=$installer")
[ -z "$icon" ] || options+=("-DICON=$icon")
rm -f "$installer"
makensis "${options[@]}" "$source/packaging/windows/korvax.nsi"
[ -s "$installer" ] || { echo "make-installer: makensis made no $installer" >&2; exit 1; }
echo "$installer ($(du -k "$installer" | cut -f1) KiB)"

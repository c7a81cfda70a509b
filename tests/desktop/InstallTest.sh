#!/usr/bin/env bash
# Installs the build tree into a staging prefix and checks what the desktop sees of it: every
# file is in place, the validators accept the entry and the metainfo, the manual pages format
# without warnings, and in a fresh user's session the launcher opens stores and no picture type.
# Usage: InstallTest.sh BUILD_DIR
set -euo pipefail

build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
share=$prefix/share
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log" >&2
  exit 1
}

launcher=$share/applications/org.stillkeep.Stillkeep.desktop
metainfo=$share/metainfo/org.stillkeep.Stillkeep.metainfo.xml
expected=(
  "$prefix/bin/stillkeep" "$prefix/bin/skd" "$launcher" "$metainfo"
  "$share/mime/packages/stillkeep.xml"
  "$share/man/man1/stillkeep.1" "$share/man/man1/skd.1"
  "$share/bash-completion/completions/skd"
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("$share/icons/hicolor/${size}x${size}/apps/stillkeep.png"
             "$share/icons/hicolor/${size}x${size}/mimetypes/application-x-stillkeep-store.png")
done
for file in "${expected[@]}"; do
  [ -s "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
for program in stillkeep skd; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not executable"
done
[ "$failures" -eq 0 ] || exit 1

desktop-file-validate "$launcher" || fail "desktop-file-validate rejects the launcher"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 || {
  cat "$work/appstream.log" >&2
  fail "appstreamcli rejects the metainfo"
}
grep -q '@PROJECT_VERSION@' "$metainfo" "$share/man/man1/"*.1 && fail "an unconfigured version"
for page in "$share/man/man1/"*.1; do
  warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
# The completion as bash offers it: commands, a command's options, and an option's values.
complete_skd() {
  bash -c 'source /usr/share/bash-completion/bash_completion && source "$0" &&
    COMP_WORDS=("${@}") && COMP_CWORD=$(($# - 1)) && COMP_LINE="$*" &&
    COMP_POINT=${#COMP_LINE} && _skd && echo "${COMPREPLY[*]}"' \
    "$share/bash-completion/completions/skd" "$@"
}
# expect_completion WANTED WORD...: the last word is the one being completed.
expect_completion() {
  local wanted=$1 got
  shift
  got=$(complete_skd "$@")
  [ "$got" = "$wanted" ] || fail "completing '$*' gives '$got', not '$wanted'"
}
expect_completion "passwd pack" skd pa
expect_completion "--version" skd --v
expect_completion "--format" skd export s.skd --f
expect_completion "jpg bmp gif" skd export s.skd --format ""
expect_completion "--quiet --quality" skd add s.skd --q

# The launcher runs the installed program and offers to open only stores.
grep -qx 'Exec=stillkeep %f' "$launcher" || fail "the launcher does not run stillkeep"
grep -qx 'MimeType=application/x-stillkeep-store;' "$launcher" ||
  fail "the launcher claims more than the store type: $(grep MimeType "$launcher")"

# A user's session with only the staged folder added: the store type is the launcher's, a
# store is recognised by its name and by its signature, and JPEG keeps its default opener.
update-mime-database "$share/mime" >"$work/mime.log" 2>&1 || fail "$(cat "$work/mime.log")"
update-desktop-database "$share/applications" || fail "update-desktop-database failed"
mkdir -p "$work/data" "$work/config"
session() {
  env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
    HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" "$@"
}
with_stage=$share:/usr/local/share:/usr/share
without_stage=/usr/local/share:/usr/share
opener=$(session XDG_DATA_DIRS="$with_stage" xdg-mime query default application/x-stillkeep-store)
[ "$opener" = org.stillkeep.Stillkeep.desktop ] || fail "stores open with '$opener'"
jpeg_before=$(session XDG_DATA_DIRS="$without_stage" xdg-mime query default image/jpeg)
jpeg_after=$(session XDG_DATA_DIRS="$with_stage" xdg-mime query default image/jpeg)
[ "$jpeg_before" = "$jpeg_after" ] ||
  fail "JPEG files now open with '$jpeg_after' instead of '$jpeg_before'"
printf 'KES\0\0\0\0\0IXS\0\5\0\0\0\0\0\0\0\0' >"$work/store.skd"
cp "$work/store.skd" "$work/store-without-extension"
for file in store.skd store-without-extension; do
  type=$(session XDG_DATA_DIRS="$with_stage" xdg-mime query filetype "$work/$file")
  [ "$type" = application/x-stillkeep-store ] || fail "$file is taken for '$type'"
done

# The installed skd finds its metafile module where it was installed, away from the build tree.
python3 "$(dirname "$0")/../scripts/make_metafile_fixtures.py" "$work" >/dev/null
(cd "$work" && env -u QT_QPA_PLATFORM -u DISPLAY "$prefix/bin/skd" convert shapes.wmf shapes.bmp) ||
  fail "the installed skd cannot draw a metafile"

[ "$failures" -eq 0 ]

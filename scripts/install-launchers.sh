#!/usr/bin/env bash
# Installs, for this user, a desktop launcher and an icon for each edition built in
# the build folder (default build/ or $KESTREL_BUILD_DIR): the menus of the desktop
# then start the built programs.
# usage: scripts/install-launchers.sh [build folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-${KESTREL_BUILD_DIR:-$top/build}}")"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
applications="$data/applications"
icons="$data/icons/hicolor/scalable/apps"

# An Exec= value that the desktop-entry standard reads back as the one program
# path: quoted whole, with \ " ` $ escaped inside the quotes, then every \ escaped
# again as the value's string rule asks, and % doubled.
exec_value() {
  local value="$1"
  value="${value//\\/\\\\}"
  value="${value//\"/\\\"}"
  value="${value//\`/\\\`}"
  value="${value//\$/\\\$}"
  value="${value//\\/\\\\}"
  value="${value//%/%%}"
  printf '"%s"' "$value"
}

mkdir -p "$applications" "$icons"
for program in kestrelsolo kestrelclient kestreldrive kestrelcd; do
  executable="$build/src/app/$program"
  template="$build/launchers/$program.desktop"
  [ -x "$executable" ] && [ -f "$template" ] || continue
  exec_line="Exec=$(exec_value "$(realpath "$executable")")"
  while IFS= read -r line; do
    case "$line" in
      Exec=*) printf '%s\n' "$exec_line" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done <"$template" >"$applications/$program.desktop"
  cp "$top/src/ui/icons/$program.svg" "$icons/$program.svg"
done

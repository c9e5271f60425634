#!/usr/bin/env bash
# Builds one edition and launches it: KestrelSolo (default), KestrelClient,
# KestrelDrive or KestrelCD. Only that edition's program and its file-manager helper
# are built, not the tests. The desktop's menus get a launcher for each built edition.
# KESTREL_NO_LAUNCH=1 stops after the build (to time it, say).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
edition="${1:-KestrelSolo}"
case "$edition" in
  KestrelSolo|KestrelClient|KestrelDrive|KestrelCD) ;;
  *) echo "usage: $0 [KestrelSolo|KestrelClient|KestrelDrive|KestrelCD]" >&2; exit 2 ;;
esac
program="${edition,,}"
targets="$program"
# The window copies the helper from its own folder into the file manager's menu
# folder; KestrelClient has no helper.
[ "$edition" != KestrelClient ] && targets+=" $program-add"
KESTREL_TARGETS="$targets" "$top/scripts/build.sh"
[ "${KESTREL_NO_LAUNCH:-}" = 1 ] && exit 0
build="${KESTREL_BUILD_DIR:-$top/build}"
"$top/scripts/install-launchers.sh" "$build"
exec "$build/src/app/$program"

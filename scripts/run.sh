#!/usr/bin/env bash
# Builds Kestrel and launches one edition: KestrelSolo (default), KestrelClient,
# KestrelDrive or KestrelCD. The desktop's menus get a launcher for each built edition.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
edition="${1:-KestrelSolo}"
case "$edition" in
  KestrelSolo|KestrelClient|KestrelDrive|KestrelCD) ;;
  *) echo "usage: $0 [KestrelSolo|KestrelClient|KestrelDrive|KestrelCD]" >&2; exit 2 ;;
esac
"$top/scripts/build.sh"
build="${KESTREL_BUILD_DIR:-$top/build}"
"$top/scripts/install-launchers.sh" "$build"
exec "$build/src/app/${edition,,}"

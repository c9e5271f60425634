#!/usr/bin/env bash
# Builds Kestrel, runs one edition under Xvfb with a fresh throw-away profile and
# saves a PNG of each page of the main window, of the splash, of the About window, of
# the auto-run and shut-down countdowns, of the setup wizard and of the Summary page
# after a run that fails (the fresh profile has no server, folder or burner) into a
# folder; for KestrelCD also the Drive page with an image file chosen as the burner.
# usage: scripts/screenshot.sh [KestrelSolo|KestrelClient|KestrelDrive|KestrelCD] [folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
edition="${1:-KestrelSolo}"
folder="$(realpath -m "${2:-$top/screenshots/$edition}")"
"$top/scripts/build.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share"
export XDG_CACHE_HOME="$scratch/home/.cache" KESTREL_FAKE_PLATFORM=1 KESTREL_SCREENSHOT_DIR="$folder"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
# The image file is chosen, never written: nothing is burned.
if [ "$edition" = KestrelCD ]; then
  export KESTREL_SCREENSHOT_IMAGE_FILE="$scratch/backup.iso"
fi
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1024x768x24" "${KESTREL_BUILD_DIR:-$top/build}/src/app/${edition,,}"
ls "$folder"/*.png

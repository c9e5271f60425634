#!/usr/bin/env bash
# Installs what is missing, builds Kestrel and runs every test headless: the
# offscreen Qt platform, a throw-away HOME and XDG folders, fakes for every
# platform service. Servers the tests need (aiosmtpd, scripted SMTP and IMAP, a
# private dovecot and Postfix) are started by the tests themselves on loopback.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh"
build="${KESTREL_BUILD_DIR:-$top/build}"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=offscreen KESTREL_FAKE_PLATFORM=1

cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"

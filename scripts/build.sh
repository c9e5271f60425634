#!/usr/bin/env bash
# Installs what is missing, then configures and builds Kestrel into build/ (or $KESTREL_BUILD_DIR).
# Arguments go to the configure step. KESTREL_TARGETS (targets separated by spaces)
# builds only those and what they need; unset, everything is built.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
build="${KESTREL_BUILD_DIR:-$top/build}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${KESTREL_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
read -ra targets <<<"${KESTREL_TARGETS:-}"
cmake --build "$build" -j "$(nproc)" ${targets[@]+--target "${targets[@]}"}

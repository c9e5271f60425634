#!/usr/bin/env bash
# Installs what is missing, checks the format of the sources (scripts/check-format.sh),
# builds Kestrel (warnings fail the build when CI=true) and runs every test headless: the
# offscreen Qt platform, a throw-away HOME and XDG folders, fakes for every
# platform service. Servers the tests need (aiosmtpd, scripted SMTP and IMAP, a
# private dovecot and Postfix) are started by the tests themselves on loopback.
# The fuzz targets' seed corpora are replayed as tests too. With CI=true (or
# KESTREL_CHECK_PACKAGE=1) the Debian package of this build is then made, installed,
# run and purged (scripts/check-package.sh).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
"$top/scripts/check-format.sh"
# In CI a compiler warning fails the build.
configure=()
[ "${CI:-}" = true ] && configure+=(-DKESTREL_WERROR=ON)
"$top/scripts/build.sh" "${configure[@]}"
build="${KESTREL_BUILD_DIR:-$top/build}"
source "$top/scripts/test-environment.sh"

cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
if [ "${CI:-}" = true ] || [ "${KESTREL_CHECK_PACKAGE:-}" = 1 ]; then
  KESTREL_BUILD_DIR="$PWD" "$top/scripts/check-package.sh"
fi

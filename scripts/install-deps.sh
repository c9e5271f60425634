#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrel needs to build, run and test (clang, its
# libFuzzer and sanitizer runtimes and llvm's symbolizer for scripts/fuzz.sh and
# scripts/sanitize.sh; clang-format for scripts/check-format.sh). QtKeychain reaches the Secret Service through libsecret, which
# it loads at run time; the tests run gnome-keyring of their own and read it back with
# secret-tool. dpkg-dev (dpkg-shlibdeps), lintian and appstream make and check the
# Debian package (scripts/package.sh, scripts/check-package.sh). systemd's
# systemd-analyze checks the scheduled run's timer and service units.
# Installs only what is missing; needs root (or sudo) when something is.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6dbus6 libqt6network6 qt6-qpa-plugins libgl1-mesa-dev
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring libsecret-tools
  libsqlite3-dev sqlite3 libzip-dev libssl-dev zlib1g-dev
  python3 python3-aiosmtpd python3-dbusmock dbus systemd
  7zip libarchive-tools zip curl openssl dovecot-imapd dovecot-lmtpd postfix
  xvfb xauth desktop-file-utils xorriso fonts-dejavu-core
  clang libclang-rt-14-dev llvm clang-format
  dpkg-dev lintian appstream
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
# The tests start Postfix with a configuration of their own: the system's stays
# unconfigured, so no system instance is set up, started or left listening.
echo "postfix postfix/main_mailer_type select No configuration" | "${sudo_cmd[@]}" debconf-set-selections
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"

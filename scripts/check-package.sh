#!/usr/bin/env bash
# Checks the Debian package as a user gets it: builds it (scripts/package.sh, from
# KESTREL_BUILD_DIR when set), runs lintian on it, installs it with apt, validates the
# installed metainfo and launchers with their own tools, runs the installed programs
# (the help, the file-manager helper, and a sequence without a window that mails a file
# to an SMTP server on loopback) in a throw-away home, then purges the package and
# checks that the programs are gone and the user's files are not.
# Installs and removes a system package: needs root (or sudo). scripts/test.sh runs it
# after the suite when CI=true or KESTREL_CHECK_PACKAGE=1.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
scratch="$(mktemp -d)"
installed=0
purge() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -qq kestrel >/dev/null
  installed=0
}
# A failed check leaves no package behind.
trap '[ "$installed" = 0 ] || purge; rm -rf "$scratch"' EXIT
fail() {
  echo "check-package: $*" >&2
  exit 1
}

deb="$(KESTREL_PACKAGE_DIR="$scratch" "$top/scripts/package.sh" | tail -n 1)"
echo "== $(basename "$deb")"
dpkg-deb --info "$deb" | grep -E '^ (Depends|Recommends|Suggests):'

# Warnings fail too; the notes lintian makes for information only are listed in the
# README with the reason each is accepted.
lintian --fail-on error,warning --info "$deb"

installed=1
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null
appstreamcli validate --no-net /usr/share/metainfo/org.example.kestrel.*.metainfo.xml
for program in kestrelsolo kestrelclient kestreldrive kestrelcd; do
  launcher="/usr/share/applications/$program.desktop"
  complaints="$(desktop-file-validate "$launcher")" || fail "$launcher: $complaints"
  [ -z "$complaints" ] || fail "$launcher: $complaints"
  [ -f "/usr/share/icons/hicolor/scalable/apps/$program.svg" ] || fail "no icon for $program"
  man -w "$program" >/dev/null
  [ -f "/usr/share/bash-completion/completions/$program" ] || fail "no completion for $program"
done

# Every option of the help is offered by the completion and described in the manual.
help="$(/usr/bin/kestrelsolo --help)"
page="$(zcat /usr/share/man/man1/kestrelsolo.1.gz | sed 's/\\-/-/g')"
completion="$(cat /usr/share/bash-completion/completions/kestrelsolo)"
options="$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)"
[ -n "$options" ] || fail "kestrelsolo --help names no option"
for option in $options; do
  grep -qE -- "(^|[ '])$option([ ']|$)" <<<"$completion" || fail "completion lacks $option"
  grep -qF -- "$option" <<<"$page" || fail "manual page lacks $option"
done

# A throw-away home: the installed programs write nowhere else.
home="$scratch/home"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
export XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state"
export XDG_RUNTIME_DIR="$scratch/runtime" KESTREL_FAKE_PLATFORM=1
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# The SMTP sink of the tests prints its port, then stores each message until its input closes.
mail="$scratch/mail"
mkdir -p "$mail"
coproc sink { exec "$top/tests/scripts/smtp_sink.py" "$mail"; }
read -r port <&"${sink[0]}" || fail "the SMTP sink did not start"

# The settings a finished setup leaves: the server on loopback without log-in (the sink
# asks for none), so the user's own address is the sender, and the backup address,
# scrambled as the settings store keeps it.
/usr/bin/python3 - "$XDG_CONFIG_HOME/Orrery/registry.sqlite3" "$port" <<'PYTHON'
import os, sqlite3, struct, sys

def scrambled(text):
    key, out = 5813, bytearray()
    for byte in text.encode():
        out.append(byte ^ (key >> 8))
        key = ((key + out[-1]) * 4493 + 6947) & 0xFFFF
    return bytes(out)

os.makedirs(os.path.dirname(sys.argv[1]), mode=0o700, exist_ok=True)
db = sqlite3.connect(sys.argv[1])
db.execute("CREATE TABLE IF NOT EXISTS registry_values (key_path TEXT NOT NULL COLLATE NOCASE,"
           " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL,"
           " PRIMARY KEY (key_path, name))")
values = [("UserSMPTName", 1, b"127.0.0.1"),
          ("UserConnectionPort", 4, struct.pack("<i", int(sys.argv[2]))),
          ("UserEmailAddress", 1, b"jo@example.org"),
          ("UserBackUpEmailAddress", 1, scrambled("backups@example.org"))]
db.executemany("INSERT OR REPLACE INTO registry_values VALUES ('Software\\Orrery\\KestrelSolo', ?, ?, ?)",
               values)
db.commit()
PYTHON

# The installed helper puts the file on the list; the installed program mails it.
echo "quarterly figures" >"$scratch/report.txt"
/usr/bin/kestrelsolo-add "$scratch/report.txt"
/usr/bin/kestrelsolo --run || fail "kestrelsolo --run failed"
eval "exec ${sink[1]}>&-"
wait "$sink_PID" || true
grep -q "report.txt" "$mail/message-1.eml" || fail "the report was not mailed"

purge
for program in kestrelsolo kestrelsolo-add; do
  [ ! -e "/usr/bin/$program" ] || fail "purge left /usr/bin/$program"
done
for kept in "$XDG_CONFIG_HOME/Orrery/registry.sqlite3" "$XDG_DATA_HOME/Orrery/KestrelSolo/Log.Txt"; do
  [ -s "$kept" ] || fail "purge took $kept"
done
echo "check-package: all checks passed"

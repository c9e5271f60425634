#!/usr/bin/env bash
# Start-up time of an edition to its shown main window on an empty profile: whole
# processes under the offscreen platform, each with a new profile, timed with
# /usr/bin/time; prints the median wall time and the largest resident size.
# usage: bench/startup.sh [build folder] [runs]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
runs="${2:-9}"
exe="$build/src/app/kestrelsolo"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
times=() ; rss=()
for i in $(seq 1 "$runs"); do
  home="$scratch/home$i"
  mkdir -p "$home/.config" "$home/.local/share"
  # A fresh profile would ask for the set-up wizard in a modal box; store the answer
  # of a user who has run it, and nothing else.
  mkdir -p "$home/.config/Orrery"
  sqlite3 "$home/.config/Orrery/registry.sqlite3" \
    "CREATE TABLE registry_values (key_path TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,
       type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY (key_path, name));
     INSERT INTO registry_values VALUES ('Software\Orrery\KestrelSolo', 'WizzardRun', 4, x'01000000');"
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    QT_QPA_PLATFORM=offscreen KESTREL_FAKE_PLATFORM=1 KESTREL_QUIT_WHEN_SHOWN=1 KESTREL_SCREENSHOT_DIR= \
    timeout 60 /usr/bin/time -f "%M %x" -o "$scratch/t$i" bash -c \
      'start=$(date +%s%N); "$0"; status=$?; echo $(( ($(date +%s%N) - start) / 1000 )) > "$1"; exit $status' \
      "$exe" "$scratch/us$i" 2>/dev/null
  read -r kb status < "$scratch/t$i"
  [ "$status" = 0 ] || { echo "run $i failed with status $status" >&2; exit 1; }
  wall=$(awk '{printf "%.3f", $1 / 1000000}' "$scratch/us$i")
  times+=("$wall"); rss+=("$kb")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
maxrss=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
echo "runs=$runs median_wall_s=$median max_rss_kib=$maxrss all=${times[*]}"

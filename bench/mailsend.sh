#!/usr/bin/env bash
# Mail transport benchmark, measured side by side in one run:
#  1. 200 files of 256 KiB (half text, half random): zip only (the limit), Kestrel's
#     zip-and-send over one SMTP session, and `zip -9 -P` per file with the archive
#     sent by `curl --upload-file` as a base64 MIME message (one connection per file);
#  2. one 1 GiB file (half random, half text): zip only and Kestrel's zip-and-send,
#     with their CPU times and peak memory.
# The SMTP server is tests/scripts/smtp_sink.py (aiosmtpd) on 127.0.0.1.
# usage: bench/mailsend.sh [build folder]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
bench="$build/bench/bench_mailsend"
scratch="$(mktemp -d)"
sink_pid=""
cleanup() {
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/small" "$scratch/big" "$scratch/mail" "$scratch/curlzip"
/usr/bin/python3 - "$scratch" <<'PY'
import os, random, sys
scratch = sys.argv[1]
rng = random.Random(20261208)
line = b"Backup sequence log line with a path /home/user/Documents/report.doc;\r\n"
text = (line * (256 * 1024 // len(line) + 1))[:256 * 1024]
for i in range(200):
    with open(os.path.join(scratch, "small", "file%03d.%s" % (i, "txt" if i % 2 == 0 else "bin")), "wb") as f:
        f.write(text if i % 2 == 0 else rng.randbytes(256 * 1024))
with open(os.path.join(scratch, "big", "big.bin"), "wb") as f:
    for block in range(1024):
        f.write(rng.randbytes(1024 * 1024) if block % 2 == 0 else (line * 15000)[:1024 * 1024])
PY

mkfifo "$scratch/sink-in"
/usr/bin/python3 "$top/tests/scripts/smtp_sink.py" "$scratch/mail" --size-limit 0 \
  < "$scratch/sink-in" > "$scratch/sink-port" &
sink_pid=$!
exec 3> "$scratch/sink-in"
for _ in $(seq 1 100); do [ -s "$scratch/sink-port" ] && break; sleep 0.1; done
port="$(head -1 "$scratch/sink-port")"
echo "SMTP sink on 127.0.0.1:$port"

# Three rounds, each pass side by side, so that load from other programs on the
# machine affects all of them alike.
for round in 1 2 3; do
  echo "== 200 files of 256 KiB, round $round"
  "$bench" "$port" "$scratch/small" both
  start=$(date +%s.%N)
  for f in "$scratch"/small/*; do
    z="$scratch/curlzip/$(basename "$f").zip"
    zip -q -9 -j -P "benchmark password" "$z" "$f"
    {
      printf 'From: bench@127.0.0.1\r\nTo: backup@example.org\r\nSubject: curl %s\r\n' "$(basename "$f")"
      printf 'MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\n'
      printf 'Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n'
      base64 -w 76 "$z" | sed 's/$/\r/'
      printf '\r\n--b--\r\n'
    } > "$z.eml"
    curl -s --url "smtp://127.0.0.1:$port" --mail-from bench@127.0.0.1 \
      --mail-rcpt backup@example.org --upload-file "$z.eml"
    rm -f "$z" "$z.eml"
  done
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { b = 200 * 256 * 1024; t = e - s;
    printf "zip+curl  %d bytes in %.2f s = %.1f MB/s\n", b, t, b / 1e6 / t }'
done

rm -f "$scratch"/mail/*
echo "== one file of 1 GiB"
# Two processes, so that the difference in CPU time is the cost of the send itself.
/usr/bin/time -f "zip-only process: %e s wall, %U s user, %S s system, %M KiB max resident" \
  "$bench" "$port" "$scratch/big" zip-only
/usr/bin/time -f "zip+send process: %e s wall, %U s user, %S s system, %M KiB max resident" \
  "$bench" "$port" "$scratch/big" send

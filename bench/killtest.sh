#!/usr/bin/env bash
# Crash test of a running mail sequence: bench_sequencerun is started again and again
# in one temporary home, against a real SMTP server on 127.0.0.1
# (tests/scripts/smtp_sink.py, which stores each accepted message before it answers
# 250), and killed with SIGKILL at a random moment of its run. After every kill, and
# once more after a last run that is left to finish, the backup log and the stored
# messages must agree:
#  a. every line of the log is complete: it ends with CR LF and its last four fields
#     read as a record (file date; size text; backup date; ID), as the log reader
#     reads them;
#  b. every record has its own message: a save note whose Subject names the record's
#     path and whose Date is not earlier than the record's backup date (one message
#     per record, so two records of one path need two messages).
# A message without a record is allowed: the process may die after the server took
# the message and before the record was written; that file is simply due again.
# With PARTS_LIMIT=<bytes> the server announces that SIZE and the larger files go out
# in parts ("... (part k of n)"): a record then needs all n parts of one sending, in
# consecutive messages; the parts of a sending cut short count as spare messages.
# A run that ends before its kill comes must end as a success, and so must a last
# run left to finish: nothing a killed run leaves behind may break the next one.
#
# usage: bench/killtest.sh [build folder] [kills]     (default: build/, 50 kills)
# SEED=<n> repeats the same kill moments; KEEP=1 keeps the temporary folder.
# Exits non-zero on any violation. Builds nothing.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$top/build}"
kills_wanted="${2:-50}"
bench="$build/bench/bench_sequencerun"
seed="${SEED:-$$}"
RANDOM=$seed
[ -x "$bench" ] || { echo "no $bench: build the target bench_sequencerun first" >&2; exit 2; }

scratch="$(mktemp -d)"
sink_pid=""
run_pid=""
keep="${KEEP:-0}"
cleanup() {
  [ -n "$run_pid" ] && kill -9 "$run_pid" 2>/dev/null || true
  [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null || true
  if [ "$keep" = 1 ]; then echo "kept $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

home="$scratch/home"
mkdir -p "$home/.config" "$home/.local/share" "$home/.cache" "$home/.local/state" "$scratch/mail"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state"
log="$XDG_DATA_HOME/Orrery/KestrelSolo/Log.Txt"
zipfolder="$XDG_DATA_HOME/Orrery/KestrelSolo/Zip"

mkfifo "$scratch/sink-in"
/usr/bin/python3 "$top/tests/scripts/smtp_sink.py" "$scratch/mail" --size-limit "${PARTS_LIMIT:-0}" \
  < "$scratch/sink-in" > "$scratch/sink-port" 2> "$scratch/sink-errors" &
sink_pid=$!
exec 3> "$scratch/sink-in"
for _ in $(seq 1 100); do [ -s "$scratch/sink-port" ] && break; sleep 0.1; done
port="$(head -1 "$scratch/sink-port")"
[ -n "$port" ] || { echo "the SMTP sink did not start" >&2; cat "$scratch/sink-errors" >&2; exit 2; }
echo "SMTP sink on 127.0.0.1:$port, seed $seed, temporary home $home"

# Checks the log against the messages; prints "log_lines=.. partial_lines=..
# records_without_message=.. messages_without_record=.." and fails on a violation.
# Parsed message headers are cached, as the messages never change once stored.
check() {
  /usr/bin/python3 - "$log" "$scratch/mail" "$scratch/headers.json" <<'PY'
import email.parser, email.policy, email.utils, json, os, re, sys
from collections import defaultdict
from datetime import datetime

log_path, mail_folder, cache_path = sys.argv[1:4]
DATE = r"(\d\d/\d\d/\d{4}(?: \d\d:\d\d:\d\d)?)"
RECORD = re.compile(r"^(.*);" + DATE + r";(\d+ KB|\? KB);" + DATE + r";(\d+)$", re.S)

def log_date(text):
    return datetime.strptime(text, "%d/%m/%Y %H:%M:%S" if " " in text else "%d/%m/%Y")

data = open(log_path, "rb").read() if os.path.exists(log_path) else b""
pieces = data.split(b"\r\n")
complete, tail = pieces[:-1], pieces[-1]
partial = []
records = []
for number, raw in enumerate(complete, 1):
    try:
        match = RECORD.match(raw.decode("utf-8"))
    except UnicodeDecodeError:
        match = None
    if match is None or "\n" in match.group(1) or "\r" in match.group(1):
        partial.append((number, raw[:120]))
    else:
        records.append((match.group(1), log_date(match.group(4)), number))
if tail:
    partial.append((len(complete) + 1, tail[:120] + b" (no line end)"))

cache = json.load(open(cache_path)) if os.path.exists(cache_path) else {}
parser = email.parser.BytesHeaderParser(policy=email.policy.default)
for name in os.listdir(mail_folder):
    if not name.endswith(".eml") or name in cache:
        continue
    with open(os.path.join(mail_folder, name), "rb") as message_file:
        headers = parser.parse(message_file)
    subject = str(headers.get("Subject", ""))
    try:
        sent = email.utils.parsedate_to_datetime(str(headers["Date"]))
        sent = sent.astimezone().replace(tzinfo=None).timestamp()
    except (TypeError, ValueError, KeyError):
        sent = None
    cache[name] = {"subject": subject, "date": sent}
json.dump(cache, open(cache_path + ".new", "w"))
os.replace(cache_path + ".new", cache_path)

PART = re.compile(r"^(.*) \(part (\d+) of (\d+)\)$", re.S)
messages = defaultdict(list)
spare_parts = 0
sending = None  # (path, count, next part, next message number, date of part 1)
for name in sorted(cache, key=lambda n: int(re.search(r"(\d+)", n).group(1))):
    entry = cache[name]
    number = int(re.search(r"(\d+)", name).group(1))
    date = entry["date"] if entry["date"] is not None else float("-inf")
    parts = entry["subject"].split("#", 2)
    # The log's own save note has no record; it is not counted either way.
    if len(parts) != 3 or parts[0] != "KestrelSolo Save":
        continue
    piece = PART.match(parts[2])
    path = piece.group(1) if piece else parts[2]
    if path == log_path:
        continue
    if not piece:
        messages[path].append(date)
        continue
    part, count = int(piece.group(2)), int(piece.group(3))
    if part == 1:
        if sending is not None:
            spare_parts += 1
        sending = (path, count, 2, number + 1, date)
    elif (sending is not None and sending[:4] == (path, count, part, number)):
        sending = (path, count, part + 1, number + 1, sending[4])
    else:
        spare_parts += 1
        sending = None
        continue
    if sending[2] > count:
        messages[path].append(sending[4])
        sending = None
if sending is not None:
    spare_parts += 1
by_path = defaultdict(list)
for path, backed_up, number in records:
    by_path[path].append((backed_up.timestamp(), number))

# Each record takes the earliest free message of its path sent at or after its
# backup date; taking records in date order makes this greedy choice optimal.
unmatched = []
spare = 0
for path in set(by_path) | set(messages):
    dates = sorted(messages.get(path, []))
    used = 0
    for backed_up, number in sorted(by_path.get(path, [])):
        while used < len(dates) and dates[used] < backed_up:
            used += 1
            spare += 1
        if used < len(dates):
            used += 1
        else:
            unmatched.append((number, path))
    spare += len(dates) - used

print("log_lines=%d partial_lines=%d records_without_message=%d messages_without_record=%d "
      "parts_sendings_cut_short=%d"
      % (len(complete) + (1 if tail else 0), len(partial), len(unmatched), spare, spare_parts))
for number, raw in partial[:5]:
    print("  partial line %d: %r" % (number, raw))
for number, path in sorted(unmatched)[:5]:
    print("  line %d has no message: %s" % (number, path))
sys.exit(1 if partial or unmatched else 0)
PY
}

# Two runs left to finish: the first makes the files, the second gives the length
# of a typical run, within which the kill moments are chosen.
"$bench" "$port" > "$scratch/first-run" || { cat "$scratch/first-run"; exit 1; }
start=$(date +%s%N)
"$bench" "$port" > "$scratch/timed-run" || { cat "$scratch/timed-run"; exit 1; }
typical_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "typical run: $typical_ms ms ($(cat "$scratch/timed-run"))"

runs=0
killed=0
failed=0
summary=""
while [ "$killed" -lt "$kills_wanted" ] && [ "$runs" -lt $((kills_wanted * 3)) ]; do
  runs=$((runs + 1))
  # Anywhere from the program's start to just before its typical end.
  delay_ms=$(( (RANDOM * 32768 + RANDOM) % (typical_ms * 95 / 100 + 1) ))
  "$bench" "$port" > "$scratch/run-$runs" 2>&1 &
  run_pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -9 "$run_pid" 2>/dev/null || true
  status=0
  wait "$run_pid" 2>/dev/null || status=$?
  run_pid=""
  # 137 is 128 + SIGKILL; any other status is the run's own. A run that ended
  # before its kill must have succeeded: the kills before it may not break it.
  violation=""
  if [ "$status" = 137 ]; then
    outcome="killed after $delay_ms ms"
    killed=$((killed + 1))
  elif [ "$status" = 0 ]; then
    outcome="finished"
  else
    outcome="finished with status $status"
    violation=1
  fi
  summary="$(check)" || violation=1
  if [ -z "$violation" ]; then
    echo "run $runs: $outcome: $summary"
  else
    echo "run $runs: $outcome: VIOLATION"
    echo "$summary"
    [ "$status" = 0 ] || [ "$status" = 137 ] || cat "$scratch/run-$runs"
    failed=1
  fi
done

# A run after all those kills must still work, and the log must still agree.
final="failed"
if "$bench" "$port" > "$scratch/final-run" 2>&1; then final="succeeded"; else failed=1; cat "$scratch/final-run"; fi
summary="$(check)" || failed=1
leftovers=$(find "$zipfolder" -type f 2>/dev/null | wc -l)
echo "runs=$runs killed=$killed ${summary%%$'\n'*} final_run=$final zip_folder_files=$leftovers"
[ "$failed" = 0 ] || { echo "$summary"; keep=1; exit 1; }

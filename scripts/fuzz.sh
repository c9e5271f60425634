#!/usr/bin/env bash
# Installs what is missing, builds the fuzz targets of tests/fuzz with clang and
# libFuzzer (AddressSanitizer and UndefinedBehaviorSanitizer on) into build-fuzz/ (or
# $KESTREL_FUZZ_DIR) and runs each for $KESTREL_FUZZ_SECONDS seconds (30 unless set),
# $KESTREL_FUZZ_JOBS at a time (2 unless set), each on a copy of its seed corpus in a
# temporary folder. Fails when any target reports a fault; the input that caused it is
# kept in <build>/findings/, to replay with: <build>/tests/fuzz/fuzz_<name> <input>
# usage: scripts/fuzz.sh [target names without "fuzz_"]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
build="${KESTREL_FUZZ_DIR:-$top/build-fuzz}"
seconds="${KESTREL_FUZZ_SECONDS:-30}"
jobs="${KESTREL_FUZZ_JOBS:-2}"

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" -DKESTREL_FUZZ=ON \
  -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target kestrel_fuzz_targets

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for source in "$top"/tests/fuzz/fuzz_*.cpp; do
    name="$(basename "$source" .cpp)"
    names+=("${name#fuzz_}")
  done
fi

source "$top/scripts/test-environment.sh"
supp="$top/tests/sanitizer"
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="suppressions=$supp/ubsan.supp:print_stacktrace=1:halt_on_error=1"
findings="$build/findings"
mkdir -p "$findings"

fuzz() {
  local name="$1" corpus="$scratch/corpus/$1"
  mkdir -p "$corpus"
  cp "$top/tests/fuzz/corpus/$name/"* "$corpus/"
  local options="$ASAN_OPTIONS"
  # libzip has no frame pointers: its leak (tests/sanitizer/lsan.supp) is recognised
  # only with full unwinding at each allocation, which costs speed.
  if [ "$name" = savedarchive ]; then
    options="$options:fast_unwind_on_malloc=0"
  fi
  if ASAN_OPTIONS="$options" "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" \
    -timeout=20 -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$findings/$name-" "$corpus" >"$scratch/$name.log" 2>&1; then
    echo "fuzz_$name: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$name.log" |
      grep -o '[0-9]*$') runs, no fault"
  else
    echo "fuzz_$name: FAULT"
    touch "$scratch/$name.failed"
  fi
}

for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz "$name" &
done
wait

status=0
for name in "${names[@]}"; do
  if [ -e "$scratch/$name.failed" ]; then
    echo "=== fuzz_$name ===" >&2
    grep -v '^#[0-9]' "$scratch/$name.log" | tail -n 60 >&2
    status=1
  fi
done
exit $status

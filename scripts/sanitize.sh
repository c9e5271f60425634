#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer (leak detection on)
# and UndefinedBehaviorSanitizer into build-sanitize/ (or $KESTREL_SANITIZE_DIR) and
# runs them all as scripts/test.sh does. Any report fails the test it came from.
# Leaks inside system libraries are suppressed by tests/sanitizer/*.supp.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh"
build="${KESTREL_SANITIZE_DIR:-$top/build-sanitize}"
# -O1 and minimal debug information: a build and a run that fit in CI, stacks that
# still name file and line. Benchmarks are left out.
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="-O1 -g1" -DKESTREL_SANITIZE=ON -DKESTREL_BUILD_BENCH=OFF \
  >/dev/null
cmake --build "$build" -j "$(nproc)"

source "$top/scripts/test-environment.sh"
supp="$top/tests/sanitizer"
export ASAN_OPTIONS="detect_leaks=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="suppressions=$supp/ubsan.supp:print_stacktrace=1:halt_on_error=1"

cd "$build"
status=0
ctest --output-on-failure -j "$(nproc)" -LE dbus "$@" || status=$?
# Qt D-Bus leaks what it caches (tests/sanitizer/lsan.supp). Its frames, which the
# suppression needs, are seen only with full unwinding at each allocation: too slow
# for the whole suite (ten times and more for some tests), so only the tests that
# talk D-Bus run with it.
ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0" \
  ctest --output-on-failure -j "$(nproc)" -L dbus "$@" || status=$?
exit $status

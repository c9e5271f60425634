#!/bin/sh
# Runs the incremental-sequence benchmark a few times with the machine's load before
# each round, so figures from a busy machine can be told apart.
#
# Usage: bench/incremental.sh <build folder> [files] [folders] [rounds]
# The tree and the log live in a temporary folder below $TMPDIR (default /tmp), which
# each round makes and removes.
set -eu
build=${1:?usage: incremental.sh <build folder> [files] [folders] [rounds]}
files=${2:-100000}
folders=${3:-10000}
rounds=${4:-3}
round=1
while [ "$round" -le "$rounds" ]; do
    echo "round $round: $(uptime)"
    "$build/bench/bench_incremental" "$files" "$folders"
    round=$((round + 1))
done

#!/usr/bin/env bash
# Fails when a file in src/<layer> includes a header of a higher layer, or of a
# folder that is no layer at all (the tests' support, say), naming the file and the
# include. The order is read from the line of docs/architecture.md that starts with
# "Layers, lowest first:".
# Usage: scripts/check-layers.sh [source folder]  (default: the repository holding it)
set -euo pipefail

root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
order=$(sed -n 's/^Layers, lowest first: *//p' "$root/docs/architecture.md" | head -n 1)
if [[ -z $order ]]; then
    echo "check-layers: no line \"Layers, lowest first: ...\" in docs/architecture.md" >&2
    exit 2
fi

cd "$root"
# xargs answers 123 for any fault awk reported.
find src -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z |
    xargs -0 awk -v order="$order" '
        BEGIN {
            count = split(order, names, " ")
            for (i = 1; i <= count; ++i)
                rank[names[i]] = i
        }
        FNR == 1 {
            split(FILENAME, parts, "/")
            own = parts[2]
            if (!(own in rank)) {
                printf "%s: the folder %s is not a layer of docs/architecture.md\n", FILENAME, own
                faults++
                nextfile
            }
        }
        /^[ \t]*#[ \t]*include[ \t]*"[^"\/]+\// {
            included = $0
            sub(/^[^"]*"/, "", included)
            sub(/".*$/, "", included)
            layer = included
            sub(/\/.*$/, "", layer)
            if (!(layer in rank)) {
                printf "%s:%d: includes \"%s\": %s is no layer\n", FILENAME, FNR, included, layer
                faults++
            } else if (rank[layer] > rank[own]) {
                printf "%s:%d: includes \"%s\": %s is above %s\n", FILENAME, FNR, included, layer, own
                faults++
            }
        }
        END {
            if (faults) {
                printf "%d include(s) against the layer order: %s\n", faults, order
                exit 1
            }
        }' || exit 1

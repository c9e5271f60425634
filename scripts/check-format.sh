#!/usr/bin/env bash
# Fails, naming the files, when clang-format (with the repository's .clang-format)
# would change any C++ file of src/, tests/ or bench/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
mapfile -d '' files < <(find src tests bench -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
clang-format --dry-run --Werror "${files[@]}"

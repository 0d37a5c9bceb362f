#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'fuzz/*.cpp' | while read -r f; do [ -f "$f" ] && echo "$f"; done)
clang-format --dry-run -Werror "${files[@]}"
echo "format check: ${#files[@]} files clean"

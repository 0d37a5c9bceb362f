#!/usr/bin/env bash
# Runs every fuzz_<input> program in the given build folder briefly over fuzz/corpus/<input>/
# (TOLVANE_FUZZ_SECONDS each, 15 by default). New inputs go to a scratch folder, not the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/fuzz}
seconds=${TOLVANE_FUZZ_SECONDS:-15}
found=0
for bin in "$dir"/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  found=$((found + 1))
  name=$(basename "$bin")
  input=${name#fuzz_}
  corpus=fuzz/corpus/$input
  scratch=$(mktemp -d)
  echo "fuzz: $name for ${seconds}s over $corpus"
  "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$scratch" "$corpus" 2>"$scratch.log" || { tail -n 60 "$scratch.log"; rm -rf "$scratch" "$scratch.log"; exit 1; }
  grep -E '^#[0-9]+.*DONE' "$scratch.log" | tail -n 1 || true
  rm -rf "$scratch" "$scratch.log"
done
[ "$found" -gt 0 ] || { echo "fuzz: no fuzz targets found in $dir"; exit 1; }
echo "fuzz: $found targets ran without a crash"

#!/usr/bin/env bash
# Fuzzes every entry point of every class (tests/fuzz/fuzz_entries.py) on
# the sanitizer build: first replays the kept inputs of tests/fuzz/regressions/,
# then a short fixed-seed run per class (scripts/test.sh runs it this way).
# Arguments are libFuzzer flags for the runs, e.g. for a long one that grows
# a corpus per class in build/fuzz/corpus/<class>/ (kept between runs):
#   QUARNEL_FUZZ_CORPUS=1 bash scripts/fuzz.sh -max_total_time=3600 -rss_limit_mb=8192
# Crashing inputs land in build/fuzz/; copy them to
# tests/fuzz/regressions/<class>/ to keep them.
set -euo pipefail
source "$(dirname "$0")/sanitizer_env.sh"

mkdir -p build/fuzz
classes=$(cd tests/python && ../../.venv/bin/python -c "import entry_points; print(*entry_points.ENTRY_POINTS)")
for cls in $classes; do
  target=("${PYTHON_UNDER_ASAN[@]}" tests/fuzz/fuzz_entries.py "$cls")
  kept=(tests/fuzz/regressions/"$cls"/*)
  if [ -e "${kept[0]}" ]; then
    "${target[@]}" "${kept[@]}" >"build/fuzz/$cls-replay.log" 2>&1 ||
      { tail -n 60 "build/fuzz/$cls-replay.log"; exit 1; }
    echo "fuzz: $cls: ${#kept[@]} kept inputs replayed"
  fi
  log="build/fuzz/$cls.log"
  corpus=()
  if [ "${QUARNEL_FUZZ_CORPUS:-0}" = 1 ]; then
    mkdir -p "build/fuzz/corpus/$cls"
    corpus=("build/fuzz/corpus/$cls")
  fi
  "${target[@]}" "${corpus[@]}" -seed=1 -max_len=2048 -len_control=0 -timeout=30 -detect_leaks=0 \
    -artifact_prefix="build/fuzz/$cls-" "$@" >"$log" 2>&1 || { tail -n 80 "$log"; exit 1; }
  grep -q "skipped" "$log" && { tail -n 1 "$log"; continue; }
  echo "fuzz: $cls: $(grep -E '^#[0-9]+\s+DONE' "$log" | tail -n 1)"
done

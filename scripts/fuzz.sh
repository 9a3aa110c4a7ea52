#!/usr/bin/env bash
# Fuzzes every entry point of every class (tests/fuzz/fuzz_entries.py) and
# the columnar input path (tests/fuzz/fuzz_columnar.py, as the target
# "columnar") on the sanitizer build. Per class: first replays the kept crash inputs of
# tests/fuzz/regressions/<class>/, if there are any, then a short
# fixed-seed run (scripts/test.sh runs it this way) that starts from the
# committed corpus tests/fuzz/corpus/<class>/ and writes what it adds to
# build/fuzz/corpus/<class>/ (emptied first; the committed corpus is only
# read).
#
# Arguments are libFuzzer flags for the runs. A long run that keeps
# growing build/fuzz/corpus/<class>/ between runs instead of emptying it:
#   QUARNEL_FUZZ_CORPUS=1 bash scripts/fuzz.sh -max_total_time=3600 -rss_limit_mb=8192
# Then QUARNEL_FUZZ_MERGE=1 bash scripts/fuzz.sh minimizes the committed
# corpus and build/fuzz/corpus/<class>/ together into a fresh
# tests/fuzz/corpus/<class>/ (libFuzzer's -merge=1), for committing.
# Crashing inputs land in build/fuzz/; copy one to
# tests/fuzz/regressions/<class>/ to keep it.
set -euo pipefail
source "$(dirname "$0")/sanitizer_env.sh"

mkdir -p build/fuzz
classes=$(cd tests/python && ../../.venv/bin/python -c "import entry_points; print(*entry_points.ENTRY_POINTS)")
flags=(-max_len=2048 -len_control=0 -timeout=30 -detect_leaks=0)
for cls in $classes columnar; do
  if [ "$cls" = columnar ]; then
    target=("${PYTHON_UNDER_ASAN[@]}" tests/fuzz/fuzz_columnar.py)
  else
    target=("${PYTHON_UNDER_ASAN[@]}" tests/fuzz/fuzz_entries.py "$cls")
  fi
  committed=tests/fuzz/corpus/$cls
  corpus=build/fuzz/corpus/$cls
  log="build/fuzz/$cls.log"
  if [ "${QUARNEL_FUZZ_MERGE:-0}" = 1 ]; then
    merged=build/fuzz/merged/$cls
    rm -rf "$merged"
    mkdir -p "$merged" "$corpus" "$committed"
    "${target[@]}" -merge=1 "${flags[@]}" "$merged" "$committed" "$corpus" >"$log" 2>&1 ||
      { tail -n 40 "$log"; exit 1; }
    rm -rf "$committed"
    cp -r "$merged" "$committed"
    echo "fuzz: $cls: $(ls "$committed" | wc -l) inputs, $(cat "$committed"/* | wc -c) bytes in $committed"
    continue
  fi
  kept=(tests/fuzz/regressions/"$cls"/*)
  if [ -e "${kept[0]}" ]; then
    "${target[@]}" "${kept[@]}" >"build/fuzz/$cls-replay.log" 2>&1 ||
      { tail -n 60 "build/fuzz/$cls-replay.log"; exit 1; }
    echo "fuzz: $cls: ${#kept[@]} kept inputs replayed"
  fi
  [ "${QUARNEL_FUZZ_CORPUS:-0}" = 1 ] || rm -rf "$corpus"
  mkdir -p "$corpus"
  corpora=("$corpus")  # new inputs go to the first directory
  [ -d "$committed" ] && corpora+=("$committed")
  "${target[@]}" "${corpora[@]}" -seed=1 "${flags[@]}" -artifact_prefix="build/fuzz/$cls-" "$@" \
    >"$log" 2>&1 || { tail -n 80 "$log"; exit 1; }
  grep -q "skipped" "$log" && { tail -n 1 "$log"; continue; }
  echo "fuzz: $cls: $(grep -E '^#[0-9]+\s+DONE' "$log" | tail -n 1)"
done

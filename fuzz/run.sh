#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, build/fuzz) and runs each one for
# SECONDS (default 60) on a copy of its seed corpus, one after the other.
# Fails when any target finds a crash, a leak, a hang or a sanitizer report;
# the input is left in build/fuzz/run/<target>/ (add it to fuzz/corpus/ and
# write a regression test for it).
set -uo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1

cmake --preset fuzz >/dev/null || exit 1
cmake --build build/fuzz -j"${JOBS:-2}" --target fuzz_targets >/dev/null || {
  cmake --build build/fuzz -j1 --target fuzz_targets 2>&1 | tail -30
  exit 1
}

status=0
for source in fuzz/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  work=build/fuzz/run/$name
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  if [ -d "fuzz/corpus/$name" ]; then cp -R "fuzz/corpus/$name/." "$work/corpus/"; fi
  printf 'fuzz: %s for %ss ... ' "$name" "$seconds"
  if "build/fuzz/fuzz/$name" "$work/corpus" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$work/findings/" >"$work/log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$')
    echo "ok (${runs:-?} runs)"
  else
    echo "FINDING"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$work/log" | head -20
    status=1
  fi
done
exit $status

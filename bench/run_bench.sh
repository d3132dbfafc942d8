#!/usr/bin/env bash
# A whole run under Wine against the system's own tools on the same data:
# brindle.exe collecting a folder tree (FILES /s) and packing it, against
# Wine's `xcopy /s /e` of the same tree followed by `tar -czf` of the copy.
# Best of RUNS (default 2) each; prints the ratio (target <= 1.0).
#   bench/run_bench.sh            (after make build; uses build/wineprefix)
set -eu
cd "$(dirname "$0")/.."
source tests/harness/wine-env
runs=${RUNS:-2}
tovkit=build/native/tools/tovkit/tovkit
tests/harness/wine-prefix boot >/dev/null
trap 'tests/harness/wine-prefix stop >/dev/null' EXIT
bench="$WINEPREFIX/drive_c/bench"
if [ ! -d "$bench/data" ]; then
  echo "making data in $bench/data"
  mkdir -p "$bench"
  python3 bench/make_pack_data.py "$bench/data"
  rm -f "$bench/data/FileList.csv"
fi
echo "data: $(du -sb "$bench/data" | cut -f1) bytes, $(find "$bench/data" -type f | wc -l) files"
cp dist/win64/brindle.exe "$bench/brindle.exe"
printf '<Bench><FILES Data="C:\\bench\\data\\*.* /s"/></Bench>\r\n' >"$bench/bench.tov"
"$tovkit" sign "$bench/bench.tov" >/dev/null

now() { date +%s.%N; }
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
ours_best=""; ref_best=""
for run in $(seq "$runs"); do
  rm -rf "$bench/out" "$bench/copy" "$bench/ref.tgz"
  mkdir -p "$bench/out"
  start=$(now)
  DISPLAY= tests/harness/wine-run "$bench/brindle.exe" "/outfile=C:\\bench\\out\\r.tgz" \
    "/xmlfile=C:\\bench\\bench.tov" /silent
  ours=$(echo "$(now) - $start" | bc)
  # The activity log's first and last entries (whole seconds) bound the
  # collecting; the rest of the run is packing.
  collecting=$(tar -xzOf "$bench/out/r.tgz" "Activity Log.csv" | awk -F, '
    /^[0-9][0-9]\/[0-9][0-9]\/[0-9][0-9][0-9][0-9] / { split($1, d, /[ :]/); t = d[2] * 3600 + d[3] * 60 + d[4]
      if (first == "") first = t; last = t }
    END { print last - first }')
  start=$(now)
  tests/harness/wine-run xcopy /s /e /i /q "C:\\bench\\data" "C:\\bench\\copy" >/dev/null
  copied=$(now)
  (cd "$bench/copy" && tar -czf "$bench/ref.tgz" .)
  ref=$(echo "$(now) - $start" | bc)
  echo "run $run: brindle.exe ${ours}s (collecting about ${collecting}s), xcopy + tar -czf ${ref}s" \
    "(xcopy $(echo "$copied - $start" | bc | cut -c1-5)s)"
  ours_best=$(best "$ours_best" "$ours"); ref_best=$(best "$ref_best" "$ref")
done
"$tovkit" inspect "$bench/out/r.tgz"
printf 'best: brindle.exe %.2fs, xcopy + tar -czf %.2fs, ratio %.2f (target <= 1.0)\n' \
  "$ours_best" "$ref_best" "$(echo "$ours_best / $ref_best" | bc -l)"

#!/usr/bin/env bash
# Whole runs under Wine, measured against what they must beat:
# 1. brindle.exe collecting a folder tree (FILES /s) and packing it, against
#    Wine's `xcopy /s /e` of the same tree followed by `tar -czf` of the copy,
#    on two trees: files of 2-18 KB (250 MB), and a customer-like tree of
#    mostly sub-KB files beside large logs and blobs (120 MB). Target <= 0.9.
# 2. A script of N FILES actions on files that do not exist, for N in
#    ACTIONS (default "1 1000 10000 100000"): ms per action, also beyond
#    the run of one action (target <= 1, and the same at every N).
# 3. The event-log export (bench/event_log_bench, 20,000 records, 8 sources):
#    records/s with the message cache on (target >= 30,000).
# 4. EVENT_CHANNELS (bench/event_channel_bench, 20,000 records) through the
#    product's wevtapi loading against the test wevtapi.dll: records/s
#    (target >= 20,000).
# Best of RUNS (default 2) for the trees and the smaller action counts;
# 100,000 actions run once. Peak memory is Wine's maximum resident set of
# the run, Wine's own included (target < 32 MB for what is ours).
#   bench/run_bench.sh [trees|small|large] [actions] [events]   (after make build)
# BRINDLE_EXE and WIN_BUILD name another brindle.exe and win64 build folder
# (to measure an older build beside this one).
set -eu
cd "$(dirname "$0")/.."
source tests/harness/wine-env
runs=${RUNS:-2}
parts=${*:-trees actions events channels}
tovkit=build/native/tools/tovkit/tovkit
tests/harness/wine-prefix boot >/dev/null
trap 'tests/harness/wine-prefix stop >/dev/null' EXIT
bench="$WINEPREFIX/drive_c/bench"
mkdir -p "$bench"
cp "${BRINDLE_EXE:-dist/win64/brindle.exe}" "$bench/brindle.exe"
echo "load: $(uptime | sed 's/.*load/load/')"

now() { date +%s.%N; }
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
sign() { "$tovkit" sign "$1" >/dev/null; }

# run_brindle SCRIPT: one silent run into C:\bench\out\r.tgz; sets `took`
# (seconds) and `peak` (KB).
run_brindle() {
  rm -rf "$bench/out" && mkdir -p "$bench/out"
  local start
  start=$(now)
  DISPLAY= /usr/bin/time -f %M -o "$bench/peak" tests/harness/wine-run "$bench/brindle.exe" \
    "/outfile=C:\\bench\\out\\r.tgz" "/xmlfile=C:\\bench\\$1" /silent || true
  took=$(echo "$(now) - $start" | bc)
  peak=$(cat "$bench/peak")
}

tree() {  # tree NAME [small]
  local name=$1 data="$bench/$1"
  if [ ! -d "$data" ]; then
    echo "making data in $data"
    python3 bench/make_pack_data.py "$data" "${2:-}"
    rm -f "$data/FileList.csv"
  fi
  echo "tree $name: $(du -sb "$data" | cut -f1) bytes, $(find "$data" -type f | wc -l) files"
  printf '<Bench><FILES Data="C:\\bench\\%s\\*.* /s"/></Bench>\r\n' "$name" >"$bench/$name.tov"
  sign "$bench/$name.tov"
  local ours_best="" ref_best="" run ref start copied
  for run in $(seq "$runs"); do
    run_brindle "$name.tov"
    rm -rf "$bench/copy" "$bench/ref.tgz"
    start=$(now)
    tests/harness/wine-run xcopy /s /e /i /q "C:\\bench\\$name" "C:\\bench\\copy" >/dev/null
    copied=$(now)
    (cd "$bench/copy" && tar -czf "$bench/ref.tgz" .)
    ref=$(echo "$(now) - $start" | bc)
    echo "  run $run: brindle.exe ${took}s (peak ${peak} KB), xcopy + tar -czf ${ref}s" \
      "(xcopy $(echo "$copied - $start" | bc | cut -c1-5)s)"
    ours_best=$(best "$ours_best" "$took"); ref_best=$(best "$ref_best" "$ref")
  done
  "$tovkit" inspect "$bench/out/r.tgz" | sed 's/^/  /'
  rm -rf "$bench/copy" "$bench/ref.tgz"
  printf 'tree %s: best brindle.exe %.2fs, xcopy + tar -czf %.2fs, ratio %.2f (target <= 0.9)\n' \
    "$name" "$ours_best" "$ref_best" "$(echo "$ours_best / $ref_best" | bc -l)"
}

actions() {  # actions N: N FILES actions on missing files, 1,000 to an element
  local n=$1 script="$bench/actions$1.tov" i times=$runs ours_best=""
  if [ ! -f "$script" ]; then
    {
      printf '<Bench>\r\n'
      for ((i = 0; i < n; i += 1000)); do
        printf '<FILES'
        seq "$((i + 1))" "$((i + 1000 < n ? i + 1000 : n))" |
          awk '{ printf " A%d=\"C:\\bench\\none\\missing%d.log\"", $1, $1 }'
        printf '/>\r\n'
      done
      printf '</Bench>\r\n'
    } >"$script"
    sign "$script"
  fi
  [ "$n" -ge 100000 ] && times=1
  for i in $(seq "$times"); do
    run_brindle "actions$n.tov"
    echo "  $n actions, run $i: ${took}s (peak ${peak} KB)"
    ours_best=$(best "$ours_best" "$took")
  done
  [ "$n" = 1 ] && fixed=$ours_best
  printf 'actions %d: best %.2fs, %.3f ms per action, %.3f beyond the run of one action (target <= 1)\n' \
    "$n" "$ours_best" "$(echo "$ours_best * 1000 / $n" | bc -l)" \
    "$(echo "($ours_best - ${fixed:-0}) * 1000 / $((n > 1 ? n - 1 : 1))" | bc -l)"
}

events() {
  local win=${WIN_BUILD:-build/win64}
  local exe=$win/bench/event_log_bench.exe dll=$win/tests/event_messages.dll
  for i in $(seq "$runs"); do
    echo "event-log export, run $i (target >= 30000 records/s with the cache):"
    tests/harness/wine-run "$exe" "$(winepath -w "$dll" 2>/dev/null)" 20000 8 | sed 's/^/  /'
  done
}

channels() {
  local win=${WIN_BUILD:-build/win64} sys32="$WINEPREFIX/drive_c/windows/system32"
  python3 bench/make_channels.py "$bench/channels" 20000
  cp "$sys32/wevtapi.dll" "$bench/wine-wevtapi.dll"
  cp "$win/tests/wevtapi.dll" "$sys32/wevtapi.dll"
  for i in $(seq "$runs"); do
    echo "event channels, run $i (target >= 20000 records/s):"
    BRINDLE_FAKE_CHANNELS='C:\bench\channels' WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wevtapi=n" \
      tests/harness/wine-run "$win/bench/event_channel_bench.exe" 20000 | sed 's/^/  /'
  done
  cp "$bench/wine-wevtapi.dll" "$sys32/wevtapi.dll"
}

for part in $parts; do
  case $part in
    trees) tree data; tree small small ;;
    small) tree small small ;;
    large) tree data ;;
    actions) for n in ${ACTIONS:-1 1000 10000 100000}; do actions "$n"; done ;;
    events) events ;;
    channels) channels ;;
    *) echo "unknown part $part" >&2; exit 2 ;;
  esac
done

#!/usr/bin/env bash
# Whole runs under Wine, measured against what they must beat:
# 1. brindle.exe collecting a folder tree (FILES /s) and packing it, against
#    Wine's `xcopy /s /e` of the same tree followed by `tar -czf` of the copy,
#    on two trees: files of 2-18 KB (250 MB), and a customer-like tree of
#    mostly sub-KB files beside large logs and blobs (120 MB). Target <= 0.9.
#    Then one folder of 3,000 files under 1 KB beside 20 logs of 4 MB and
#    32 MB that does not compress (target <= 0.9), and one folder of WIDE
#    (default "2000 20000") files under 1 KB (target <= 1.0 at each count:
#    under Wine a new file costs more the fuller its folder, so each count
#    is compared with xcopy at that count), with the manifest's size beside
#    the peak memory.
# 2. A script of N FILES actions on files that do not exist, for N in
#    ACTIONS (default "1 1000 10000 100000"): ms per action, also beyond
#    the run of one action (target <= 1, and the same at every N).
# 3. The event-log export (bench/event_log_bench, 20,000 records, 8 sources):
#    records/s with the message cache on (target >= 30,000).
# 4. EVENT_CHANNELS (bench/event_channel_bench, 20,000 records) through the
#    product's wevtapi loading against the test wevtapi.dll: records/s
#    (target >= 20,000).
# 5. File-system calls per collected small file, from search to removal
#    after packing, against xcopy's per copied file: a Wine relay trace of
#    the ntdll file calls for one folder of 200 and of 600 small files; the
#    difference divided by 400, so that what a run pays once drops out.
# Best of RUNS (default 2) for the trees and the smaller action counts;
# 100,000 actions run once. Peak memory is Wine's maximum resident set of
# the run, Wine's own included (target < 32 MB for what is ours).
#   bench/run_bench.sh [trees|small|large|onefolder|wide] [actions] [events] [calls]
#   (after make build)
# BRINDLE_EXE and WIN_BUILD name another brindle.exe and win64 build folder
# (to measure an older build beside this one).
set -eu
cd "$(dirname "$0")/.."
source tests/harness/wine-env
runs=${RUNS:-2}
parts=${*:-trees actions events channels calls}
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

make_data() {  # make_data FOLDER [KIND [N]]
  if [ ! -d "$1" ]; then
    echo "making data in $1"
    python3 bench/make_pack_data.py "$@"
    rm -f "$1/FileList.csv"
  fi
}

tree() {  # tree NAME [KIND [N]] [TARGET]
  local name=$1 data="$bench/$1" target=${4:-0.9}
  make_data "$data" "${@:2:2}"
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
  local files rows
  files=$(find "$data" -type f | wc -l)
  rows=$(tar -xzOf "$bench/out/r.tgz" FileList.csv 2>/dev/null | wc -c)
  rm -rf "$bench/copy" "$bench/ref.tgz"
  printf 'tree %s: best brindle.exe %.2fs, xcopy + tar -czf %.2fs, ratio %.2f (target <= %s);' \
    "$name" "$ours_best" "$ref_best" "$(echo "$ours_best / $ref_best" | bc -l)" "$target"
  printf ' %.2f ms a file against %.2f; peak %d KB, manifest %d KB\n' \
    "$(echo "$ours_best * 1000 / $files" | bc -l)" "$(echo "$ref_best * 1000 / $files" | bc -l)" \
    "$peak" "$((rows / 1024))"
}

# relay_counts OUT PROGRAM ARGS...: runs a Windows program with Wine's relay
# trace of the ntdll file calls and writes "CALL COUNT" lines to OUT. Wine
# itself is quiet otherwise (wine-env), so the program runs directly here.
relay_counts() {
  local out=$1
  shift
  (cd "$WINEPREFIX/drive_c/work" && WINEDEBUG=+relay DISPLAY= wine "$@" 2>&1 >/dev/null) |
    sed -n 's/.*:Call ntdll\.\([A-Za-z]*\)(.*/\1/p' | sort | uniq -c |
    awk '{ print $2, $1 }' >"$out"
}

calls() {
  local calls="NtCreateFile NtOpenFile NtQueryAttributesFile NtQueryFullAttributesFile"
  calls="$calls NtQueryInformationFile NtQueryVolumeInformationFile NtQueryDirectoryFile"
  calls="$calls NtSetInformationFile NtReadFile NtWriteFile NtFlushBuffersFile NtDeleteFile"
  calls="$calls NtFsControlFile NtQuerySecurityObject NtSetSecurityObject NtClose"
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /f \
    /d "$(echo "$calls" | sed 's/\([A-Za-z]*\)/ntdll.\1/g; s/ /;/g')" >/dev/null 2>&1
  local n
  for n in 200 600; do
    make_data "$bench/calls$n" wide "$n" >/dev/null
    printf '<Bench><FILES Data="C:\\bench\\calls%s\\*.* /s"/></Bench>\r\n' "$n" \
      >"$bench/calls$n.tov"
    sign "$bench/calls$n.tov"
    rm -rf "$bench/out" && mkdir -p "$bench/out"
    relay_counts "$bench/ours$n" "C:\\bench\\brindle.exe" "/outfile=C:\\bench\\out\\r.tgz" \
      "/xmlfile=C:\\bench\\calls$n.tov" /silent
    rm -rf "$bench/copy"
    relay_counts "$bench/xcopy$n" xcopy /s /e /i /q "C:\\bench\\calls$n" "C:\\bench\\copy"
  done
  rm -rf "$bench/copy"
  echo "file-system calls per small file (one folder of 600 less one of 200, / 400):"
  awk -v list="$calls" '
    { n[FILENAME "," $1] = $2 }
    END {
      split(list, names, " ")
      printf "  %-30s %8s %8s\n", "call", "brindle", "xcopy"
      for (i = 1; i in names; ++i) {
        c = names[i]
        o = (n[ours600 "," c] - n[ours200 "," c]) / 400
        x = (n[xcopy600 "," c] - n[xcopy200 "," c]) / 400
        if (o == 0 && x == 0) continue
        printf "  %-30s %8.2f %8.2f\n", c, o, x
        if (c ~ /^Nt(Create|Open)File$/) { oo += o; xo += x }
        else if (c ~ /^NtQuery/) { oq += o; xq += x }
        else if (c != "NtClose") { ow += o; xw += x }
        ot += o; xt += x
      }
      printf "calls per small file: opens %.2f, queries %.2f, other %.2f, all %.2f" \
        " (xcopy: opens %.2f, queries %.2f, other %.2f, all %.2f)\n", oo, oq, ow, ot, xo, xq, xw, xt
    }' ours200="$bench/ours200" ours600="$bench/ours600" xcopy200="$bench/xcopy200" \
    xcopy600="$bench/xcopy600" "$bench/ours200" "$bench/ours600" "$bench/xcopy200" \
    "$bench/xcopy600"
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
    trees)
      tree data
      tree small small
      tree onefolder onefolder
      for n in ${WIDE:-2000 20000}; do tree "wide$n" wide "$n" 1.0; done
      ;;
    small) tree small small ;;
    large) tree data ;;
    onefolder) tree onefolder onefolder ;;
    wide) for n in ${WIDE:-2000 20000}; do tree "wide$n" wide "$n" 1.0; done ;;
    calls) calls ;;
    actions) for n in ${ACTIONS:-1 1000 10000 100000}; do actions "$n"; done ;;
    events) events ;;
    channels) channels ;;
    *) echo "unknown part $part" >&2; exit 2 ;;
  esac
done

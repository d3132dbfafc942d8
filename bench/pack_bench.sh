#!/usr/bin/env bash
# Packing speed, size and memory: our packer (bench/pack_driver, natively,
# through the POSIX stand-ins of the Windows edge) against `tar -czf` on the
# same ~250 MB folder in the same run.
#   bench/pack_bench.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR: a native Release build (default build/pack-native); targets:
# packing time at most 0.6x tar -czf (every core compresses), size within
# 1%, peak memory < 32 MB.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/pack-native}
work=${2:-$(mktemp -d /tmp/pack_bench.XXXXXX)}
runs=${RUNS:-3}
cmake --build "$build" --target pack_driver -j2 >/dev/null
driver=$build/bench/pack_driver

mkdir -p "$work"
if [ ! -f "$work/data/FileList.csv" ]; then
  echo "making data in $work/data"
  python3 "$here/make_pack_data.py" "$work/data"
fi
echo "data: $(du -sb "$work/data" | cut -f1) bytes, $(find "$work/data" -type f | wc -l) files"

now() { date +%s.%N; }
best_ours=""; best_tar=""
for run in $(seq "$runs"); do
  rm -rf "$work/copy" "$work/ours.tgz" "$work/tar.tgz"
  cp -a "$work/data" "$work/copy"
  sync
  start=$(now)
  line=$(/usr/bin/time -f "maxrss_kb=%M" -o "$work/time.txt" "$driver" "$work/copy" "$work/ours.tgz")
  ours=$(echo "$(now) - $start" | bc)
  start=$(now)
  (cd "$work/data" && tar -czf "$work/tar.tgz" .)
  tarsec=$(echo "$(now) - $start" | bc)
  left=$(find "$work/copy" -type f | wc -l)
  echo "run $run: ours ${ours}s ($line $(cat "$work/time.txt"), files left $left), tar -czf ${tarsec}s"
  if [ -z "$best_ours" ] || [ "$(echo "$ours < $best_ours" | bc)" = 1 ]; then best_ours=$ours; fi
  if [ -z "$best_tar" ] || [ "$(echo "$tarsec < $best_tar" | bc)" = 1 ]; then best_tar=$tarsec; fi
done
ours_size=$(stat -c %s "$work/ours.tgz")
tar_size=$(stat -c %s "$work/tar.tgz")
rss=$(sed -n 's/maxrss_kb=//p' "$work/time.txt")
printf 'best time: ours %.2fs, tar -czf %.2fs, ratio %.3f (target <= 0.6)\n' \
  "$best_ours" "$best_tar" "$(echo "$best_ours / $best_tar" | bc -l)"
printf 'size: ours %d, tar -czf %d, ratio %.4f (target within 1%%)\n' \
  "$ours_size" "$tar_size" "$(echo "$ours_size / $tar_size" | bc -l)"
printf 'peak memory: %d KB (target < 32768)\n' "$rss"
tar -tzf "$work/ours.tgz" >/dev/null && echo "GNU tar reads our result"
[ -z "${2:-}" ] && rm -rf "$work"
exit 0

#!/usr/bin/env bash
# What tovkit report and inspect cost on a large, hostile result: ten file
# version listings of 8 MiB each, a long activity log, thousands of members,
# a collected text file of a million lines (a few MB compressed, over 100 MB
# unpacked). Targets: peak memory under 64 MB, the page under 20 MB, time
# linear in the result's size (the second, doubled result takes about twice).
#   bench/report_bench.sh [TOVKIT] [WORK_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tovkit=${1:-$here/../build/native/tools/tovkit/tovkit}
work=${2:-$(mktemp -d /tmp/report_bench.XXXXXX)}
mkdir -p "$work"
for scale in 1 2; do
  result=$work/large$scale.tgz
  [ -f "$result" ] || python3 "$here/make_report_data.py" "$result" "$scale"
  for command in report inspect; do
    args=("$result")
    [ "$command" = report ] && args+=(-o "$work/large$scale.html")
    /usr/bin/time -f "%M %e" -o "$work/time" "$tovkit" "$command" "${args[@]}" >/dev/null || true
    read -r kb seconds < <(tail -n 1 "$work/time")
    line="$command x$scale: result $(stat -c %s "$result") bytes, peak memory $((kb / 1024)) MB, $seconds s"
    [ "$command" = report ] && line+=", page $(stat -c %s "$work/large$scale.html") bytes"
    echo "$line"
    if [ "$kb" -ge $((64 * 1024)) ]; then echo "report bench: over 64 MB" >&2; exit 1; fi
  done
  if [ "$(stat -c %s "$work/large$scale.html")" -ge $((20 << 20)) ]; then
    echo "report bench: page over 20 MB" >&2
    exit 1
  fi
done

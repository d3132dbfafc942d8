#!/usr/bin/env bash
# Many machines, one share folder: runs started at once, each with its own
# result name in the same folder, all end with complete, clean results.
source "$(dirname "$0")/lib.bash"
exe=$1
runs=${FLEET_RUNS:-12}

e2e_setup fleet "$exe"
mkdir -p "$E2E_DIR/share" "$E2E_DIR/data"
for i in $(seq 1 40); do head -c 20000 /dev/urandom >"$E2E_DIR/data/f$i.log"; done
cat >"$E2E_DIR/fleet.tov" <<EOT
<Fleet><FILES Logs="$E2E_WIN\\data\\*.log"/></Fleet>
EOT
sign "$E2E_DIR/fleet.tov"
# An abandoned folder from a crashed run: no live holder, so it is cleared.
mkdir -p "$E2E_DIR/share/~BX_TEMP"
echo stale >"$E2E_DIR/share/~BX_TEMP/stale.txt"

pids=()
for i in $(seq 1 "$runs"); do
  # No display: silent runs need no window.
  DISPLAY= brindle "/case=m$i" "/outfile=$E2E_WIN\\share\\r.tgz" /silent &
  pids+=($!)
done
codes=()
for pid in "${pids[@]}"; do
  wait "$pid"
  codes+=($?)
done
check "every run exits 0" bash -c "[ '${codes[*]}' = '$(printf '0 %.0s' $(seq 1 "$runs") | sed 's/ $//')' ]"
clean=0
for i in $(seq 1 "$runs"); do
  result="$E2E_DIR/share/m$i r.tgz"
  if "$TOVKIT" inspect "$result" >/dev/null 2>&1 &&
    [ "$(tar -tzf "$result" | grep -c '^fleet/Logs/.*\.log$')" = 40 ]; then
    clean=$((clean + 1))
  fi
done
check "every result is complete and clean ($clean of $runs)" test "$clean" -eq "$runs"
check "tovkit inspect on the share folder: one clean line per run" bash -c \
  "'$TOVKIT' inspect '$E2E_DIR/share' | tail -n 1 | grep -qx '$runs results: $runs clean, 0 NOT CLEAN'"
check "no temporary folder or lock is left" \
  bash -c "[ -z \"\$(ls -A '$E2E_DIR/share' | grep -v ' r.tgz$')\" ]"
e2e_done

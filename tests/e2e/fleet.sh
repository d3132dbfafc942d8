#!/usr/bin/env bash
# Many machines, one share folder, one case id: runs started at once, each
# finds its own temporary folder and its own result name, and all end with
# complete, clean results.
source "$(dirname "$0")/lib.bash"
exe=$1
runs=${FLEET_RUNS:-12}

e2e_setup fleet "$exe"
mkdir -p "$E2E_DIR/share" "$E2E_DIR/data"
for i in $(seq 1 40); do head -c 20000 /dev/urandom >"$E2E_DIR/data/f$i.log"; done
cp "$2/tests/exec_probe.exe" "$E2E_DIR/probe.exe"
# The tool keeps every run alive until all have claimed their names (a run
# that ended would free its name for a later one): it waits for "go".
cat >"$E2E_DIR/fleet.tov" <<EOT
<Fleet><FILES Logs="$E2E_WIN\\data\\*.log"/><EXECUTE Wait="~5 \$TOOLDIR\$\\probe.exe await \$TOOLDIR\$\\go 280000"/></Fleet>
EOT
sign "$E2E_DIR/fleet.tov"

for _ in $(seq 1 "$runs"); do
  # No display: silent runs need no window.
  DISPLAY= brindle /case=same "/outfile=$E2E_WIN\\share\\r.tgz" /silent &
done
for _ in $(seq 2800); do
  [ "$(ls "$E2E_DIR"/share/*.tgz.lock 2>/dev/null | wc -l)" -ge "$runs" ] && break
  sleep 0.1
done
touch "$E2E_DIR/go"
failed=0
for job in $(jobs -p); do wait "$job" || failed=$((failed + 1)); done
check "every run exits 0" test "$failed" -eq 0
mapfile -t results < <(ls "$E2E_DIR"/share/*.tgz)
complete=0
for result in "${results[@]}"; do
  [ "$(tar -tzf "$result" | grep -c '^fleet/Logs/.*\.log$')" = 40 ] && complete=$((complete + 1))
done
check "every run has a result of its own, complete ($complete of $runs)" test "$complete" -eq "$runs"
check "tovkit inspect on the share folder: one clean line per run" bash -c \
  "'$TOVKIT' inspect '$E2E_DIR/share' | tail -n 1 | grep -qx '$runs results: $runs clean, 0 NOT CLEAN'"
check "no temporary folder or lock is left" \
  bash -c "[ -z \"\$(ls -A '$E2E_DIR/share' | grep -v '\.tgz$')\" ]"
e2e_done

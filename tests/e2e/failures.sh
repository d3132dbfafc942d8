#!/usr/bin/env bash
# Every failure shows: in the activity log, in the exit code, and in what
# tovkit inspect says of the result. One whole run per row.
source "$(dirname "$0")/lib.bash"
exe=$1
bin=$2
run_wine() { timeout 60 "$e2e_repo/tests/harness/wine-run" "$@"; }

# row NAME CODE BODY [BEFORE]: a run of the signed script NAME.tov holding
# BODY (after the shell command BEFORE, when given), which must end with
# exit code CODE. Leaves the result's activity log in $log and tovkit
# inspect's answer in $inspected.
row() {
  local name=$1 code=$2 body=$3 before=${4:-}
  e2e_setup "$name" "$exe"
  mkdir -p "$E2E_DIR/out" "$E2E_DIR/data"
  cp "$bin/tests/exec_probe.exe" "$E2E_DIR/probe.exe"
  printf '<%s>%s</%s>\r\n' "$name" "$body" "$name" >"$E2E_DIR/$name.tov"
  sign "$E2E_DIR/$name.tov"
  [ -z "$before" ] || eval "$before"
  brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
  check "$name: exit code $code (was $?)" test $? -eq "$code"
  log="$E2E_DIR/out/log.csv"
  tar -xzOf "$E2E_DIR/out/r.tgz" 'Activity Log.csv' >"$log" 2>/dev/null
  inspected=$("$TOVKIT" inspect "$E2E_DIR/out/r.tgz" 2>&1)
}

probe='$TOOLDIR$\probe.exe'
row exits 4 "<EXECUTE A=\"~1 $probe exit 7\" B=\"~1 $probe exit -1\" C=\"~1 $probe crash\"/>"
check "exit 7: a WARNING in decimal" has_line "$log" ",WARNING,Command returned exit code 7"
check "exit -1: an ERROR in hex" has_line "$log" ",ERROR,Command ended abnormally with status 0xFFFFFFFF"
check "a crash: an ERROR naming the access violation" has_line "$log" \
  ",ERROR,Command ended abnormally with status 0xC0000005"
check "a result with errors is still clean" grep -q ': clean: ' <<<"$inspected"

row unsigned 4 '<DEBUG x="1"/>' 'printf "<U/>\r\n" >"$E2E_DIR/unsigned.tov"'
check "an unsigned script: refused with an ERROR" has_line "$log" \
  ",ERROR,XML file unsigned.tov does not have a valid signiture"

row locked 4 "<FILES L=\"C:\\e2e_locked\\data\\*.log\"/>" \
  'run_wine "$E2E_DIR/probe.exe" hold "$E2E_WIN\\data\\locked.log" 6000 & sleep 2'
check "a locked file: an ERROR naming it" grep -q ',ERROR,.*locked\.log' "$log"
wait

# The tool outlives its limit holding its output file: the result names it.
row held 1 "<EXECUTE A=\"~0 $probe hold \$DATADIR\$\\held.log 8000\"/><EXECUTE B=\"~1 $probe sleep 2000\"/>"
check "a file held open: NOT CLEAN, named in the result" \
  grep -qF 'not packed: held\held.log: cannot be opened (error 32)' <<<"$inspected"
check "and in the verdict" grep -q 'NOT CLEAN: 1 not packed' <<<"$inspected"

# A key path the registry allows but that is longer than MAX_PATH.
long="Software\\BrindleE2E\\$(printf 'a%.0s' {1..125})\\$(printf 'b%.0s' {1..125})"
run_wine reg add "HKCU\\$long" /v Name /d value /f >/dev/null 2>&1
row registry 0 "<REGISTRY Long=\"HKEY_CURRENT_USER\\$long\"/>"
check "a 270-character key path is exported" bash -c \
  "tar -xzOf '$E2E_DIR/out/r.tgz' registry/Long.txt | iconv -f UTF-16 -t UTF-8 | grep -q BrindleE2E"
check "without an ERROR" bash -c "! grep -q ',ERROR,' '$log'"
run_wine reg delete 'HKCU\Software\BrindleE2E' /f >/dev/null 2>&1

# One quoted argument, the way CreateProcess and deployment tools pass a
# value with a space.
e2e_setup quoted "$exe"
mkdir -p "$E2E_DIR/Out Dir"
brindle "/outfile=$E2E_WIN\\Out Dir\\r.tgz" /silent
check "a quoted /outfile= with a space: exit 0" test $? -eq 0
check "and the result where it was asked for" test -f "$E2E_DIR/Out Dir/r.tgz"

wait
e2e_done

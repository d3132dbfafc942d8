#!/usr/bin/env bash
# Every failure shows: in the activity log, in the exit code, and in what
# tovkit inspect says of the result. One whole run meets them all.
source "$(dirname "$0")/lib.bash"
exe=$1
run_wine() { timeout 60 "$e2e_repo/tests/harness/wine-run" "$@"; }

e2e_setup failures "$exe"
mkdir -p "$E2E_DIR/out" "$E2E_DIR/data"
cp "$2/tests/exec_probe.exe" "$E2E_DIR/probe.exe"
# A key path the registry allows but that is longer than MAX_PATH.
long="Software\\BrindleE2E\\$(printf 'a%.0s' {1..125})\\$(printf 'b%.0s' {1..125})"
run_wine reg add "HKCU\\$long" /v Name /d value /f >/dev/null 2>&1
probe='$TOOLDIR$\probe.exe'
# The held tool outlives its limit holding its output file.
printf '<F><EXECUTE A="~1 %s exit -1" B="~1 %s crash" C="~1 %s exit 7"/><FILES L="%s\\data\\*.log"/>
<EXECUTE H="~0 %s hold $DATADIR$\\held.log 8000"/><EXECUTE W="~1 %s sleep 2000"/>
<REGISTRY Long="HKEY_CURRENT_USER\\%s"/></F>\r\n' \
  "$probe" "$probe" "$probe" "$E2E_WIN" "$probe" "$probe" "$long" >"$E2E_DIR/f.tov"
sign "$E2E_DIR/f.tov"
run_wine "$E2E_DIR/probe.exe" hold "$E2E_WIN\\data\\locked.log" 6000 &
sleep 2
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "a file not packed: exit code 1" test $? -eq 1
wait
result="$E2E_DIR/out/r.tgz"
log="$E2E_DIR/out/log.csv"
tar -xzOf "$result" 'Activity Log.csv' >"$log"
inspected=$("$TOVKIT" inspect "$result" 2>&1)
check "exit -1: an ERROR in hex" has_line "$log" ",ERROR,Command ended abnormally with status 0xFFFFFFFF"
check "a crash: an ERROR naming the access violation" has_line "$log" \
  ",ERROR,Command ended abnormally with status 0xC0000005"
check "exit 7: a WARNING with the code" has_line "$log" ",WARNING,Command returned exit code 7"
check "a locked file: an ERROR naming it" grep -q ',ERROR,.*locked\.log' "$log"
check "a file held open: NOT CLEAN, named in the result" \
  grep -qF 'not packed: f\held.log: cannot be opened (error 32)' <<<"$inspected"
check "and in the verdict" grep -q 'NOT INTACT: 1 not packed' <<<"$inspected"
check "a 270-character key path is exported without an ERROR" bash -c \
  "tar -xzOf '$result' f/Long.txt | iconv -f UTF-16 -t UTF-8 | grep -q BrindleE2E &&
   ! grep -q ',ERROR,.*BrindleE2E' '$log'"
run_wine reg delete 'HKCU\Software\BrindleE2E' /f >/dev/null 2>&1
e2e_done

#!/usr/bin/env bash
# The progress dialog and the run thread, driven from outside as a user
# would: a full run over a left-over temporary folder, closing it mid-run, a
# silent run that cannot write, the Save-As dialog answered and abandoned,
# the help box.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.bash"
exe=$1
build=$2
driver="$build/tests/window_driver.exe"

drive() { timeout 120 "$e2e_repo/tests/harness/wine-run" "$driver" "$@"; }
# drive_in_background ARGS...: the same, with its output in $E2E_DIR/driver.txt;
# $driver_pid is the process to wait for or to end.
drive_in_background() {
  timeout 120 "$e2e_repo/tests/harness/wine-run" "$driver" "$@" >"$E2E_DIR/driver.txt" &
  driver_pid=$!
}

# start_brindle ARGS...: runs the copy in the background ($brindle_pid);
# finish_brindle waits for it and leaves its exit status in $status (124: timed out).
start_brindle() {
  timeout "${BRINDLE_LIMIT:-120}" "$e2e_repo/tests/harness/wine-run" "$E2E_DIR/brindle.exe" "$@" &
  brindle_pid=$!
}
finish_brindle() {
  wait "$brindle_pid"
  status=$?
}

# --- a normal run named by its case id, over a left-over temporary folder
# whose read-only files in nested folders go: the result box at the end,
# then the program ends by itself
e2e_setup normal "$exe"
mkdir -p "$E2E_DIR/~BX_TEMP/Old Script/deeper"
echo stale >"$E2E_DIR/~BX_TEMP/Old Script/deeper/stale.txt"
chmod a-w "$E2E_DIR/~BX_TEMP/Old Script/deeper/stale.txt" "$E2E_DIR/~BX_TEMP/Old Script"
start_brindle /case=Demo
report=$(drive boxes 120 1 | tr -d '\r')
finish_brindle
check "the program ends once the run is over" test "$status" -eq 0
check "the result box names the result ($report)" \
  grep -qF "result file name:  $E2E_WIN\\demo.tgz" <<<"$report"
check "its temporary folder is gone" test ! -e "$E2E_DIR/~BX_TEMP"
check "the result beside the executable holds nothing old" \
  bash -c "tar -tzf '$E2E_DIR/demo.tgz' >'$E2E_DIR/listing' && ! grep -qiE 'stale|Old Script' '$E2E_DIR/listing'"

# --- closed by the user mid-run
e2e_setup dialog "$exe"
# Scripts with no valid signature still get copied and logged one by one,
# which keeps a run busy for several seconds.
mkdir -p "$E2E_DIR/many" "$E2E_DIR/out"
for i in $(seq 1 3000); do printf '<S%d/>\r\n' "$i" >"$E2E_DIR/many/s$i.tov"; done
start_brindle "/xmlfile=$E2E_WIN\\many\\*.tov" "/outfile=$E2E_WIN\\out\\r.tgz"
check "the dialog opens and takes the user's close" drive close "Brindle Tool" 60
finish_brindle
check "the process ends after the close, exit code 2 (stopped)" test "$status" -eq 2
log="$E2E_DIR/out/~BX_TEMP/Activity Log.csv"
check "the log ends with the user's stop" test "$(tail -n 1 "$log" | tr -d '\r' | cut -d, -f2-)" = \
  "INFORMATION,User requested termination"
check "the partial result stays, unpacked" test ! -e "$E2E_DIR/out/r.tgz"

# --- silent and unable to write: no visible window, no box, the process ends
e2e_setup silent "$exe"
drive_in_background watch "Brindle Tool" 60
sleep 1  # let the watcher start before the window can appear
BRINDLE_LIMIT=60 start_brindle "/outfile=$E2E_WIN\\missing\\r.tgz" /silent
finish_brindle
wait "$driver_pid"
watch=$(tr -d '\r' <"$E2E_DIR/driver.txt")
check "a silent run that cannot write ends by itself, exit code 1" test "$status" -eq 1
check "no message box appears ($watch)" grep -q 'boxes=0' <<<"$watch"
check "the window is never seen larger than a pixel ($watch)" \
  grep -qE 'largest_visible=[01]x[01] ' <<<"$watch"

# --- the Save-As dialog: a typed name without extension gets ".tgz"; the
# old result of that name, read-only, is gone before the run; the run pass
# still walks its script after the dialog's COM
e2e_setup saveas "$exe"
mkdir -p "$E2E_DIR/out"
echo old >"$E2E_DIR/out/mine.tgz"
chmod a-w "$E2E_DIR/out/mine.tgz"
printf '<S><DEBUG Note="walked"/></S>\r\n' >"$E2E_DIR/s.tov"
sign "$E2E_DIR/s.tov"
drive_in_background boxes 100  # a report box at the end, once there is one
start_brindle
check "the Save-As dialog takes a typed name" drive saveas "$E2E_WIN\\out\\mine" 60
finish_brindle
kill "$driver_pid" 2>/dev/null
wait "$driver_pid" 2>/dev/null
check "the result replaces the old read-only one, and its script ran" bash -c \
  "tar -xzOf '$E2E_DIR/out/mine.tgz' 'Activity Log.csv' | grep -q ',DEBUG,XML Name: Note'"

# --- the dialog closed while the Save-As dialog waits: the question goes
# away with it, long before the five minutes the close may wait
e2e_setup abandon "$exe"
start_brindle
check "the Save-As dialog opens" drive waitsave 60
started=$SECONDS
check "the dialog takes the close behind the question" drive close "Brindle Tool" 5
finish_brindle
check "the program ends at once, exit code 2" test "$status" -eq 2 -a $((SECONDS - started)) -lt 30
check "nothing is collected" test ! -e "$E2E_DIR/~BX_TEMP"

# --- "/?" shows only the help box
e2e_setup help "$exe"
start_brindle "/case=x" "/?"
help=$(drive boxes 60 1 | tr -d '\r')
finish_brindle
check "the help box shows the default help ($help)" test "$help" = \
  "box: Minimum Brindle Tool: Help not available"
check "and nothing runs" test ! -e "$E2E_DIR/~BX_TEMP" -a ! -e "$E2E_DIR/x.tgz"

e2e_done

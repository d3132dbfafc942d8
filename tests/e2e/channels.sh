#!/usr/bin/env bash
# Event channels through wevtapi.dll loaded by its system path: the test
# library in the system folder (channels served, exported, read back with
# python3-evtx), Wine's own stubs (present but not working), and none at all
# (XP's case), where the classic logs are collected as before.
source "$(dirname "$0")/lib.bash"
sys32="$WINEPREFIX/drive_c/windows/system32"
e2e_setup channels "$1"
python3 "$e2e_repo/bench/make_channels.py" "$E2E_DIR/served"
export BRINDLE_FAKE_CHANNELS="$E2E_WIN\\served"
cp "$sys32/wevtapi.dll" "$E2E_DIR/wine-wevtapi.dll"
trap 'cp "$E2E_DIR/wine-wevtapi.dll" "$sys32/wevtapi.dll"' EXIT
trap 'exit 1' INT TERM
cp "$2/tests/wevtapi.dll" "$sys32/wevtapi.dll"
cat >"$E2E_DIR/ch.tov" <<'XML'
<Channels>
  <EVENT_CHANNELS Test="Brindle-Test/Operational /days:14" Orphans="Brindle-Orphan/Operational"
    Gone="Brindle-Nowhere/Operational" Denied="Brindle-Denied/Operational" Debug="Brindle-*/Debug"/>
  <EVENT_LOGS Security_log_required="No"/>
</Channels>
XML
sign "$E2E_DIR/ch.tov"
run() {  # run MODE OVERRIDE: a silent run into $E2E_DIR/MODE, unpacked there
  mkdir -p "$E2E_DIR/$1"
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wevtapi=$2" brindle "/outfile=$E2E_WIN\\$1\\r.tgz" /silent
  status=$?
  tar -xzf "$E2E_DIR/$1/r.tgz" -C "$E2E_DIR/$1"
  log="$E2E_DIR/$1/Activity Log.csv"
}

run served n
check "a denied channel makes the run end with 4" test "$status" -eq 4
check "tovkit inspect finds the result intact, collected with errors" \
  bash -c "'$TOVKIT' inspect '$E2E_DIR/served/r.tgz' >/dev/null; test \$? -eq 4"
check "exported, counted and checked" has_line "$log" "\\served\\~BX_TEMP\\ch\\Test.evtx: 3 records, "
check "the orphans' rows" has_line "$log" ",INFORMATION,Event channel Brindle-Orphan/Operational: 2 rows written to"
check "absent is no failure" has_line "$log" \
  ",INFORMATION,Event channel Brindle-Nowhere/Operational is not present on this system"
check "denied asks for an administrator" has_line "$log" \
  ",ERROR,Access to event channel Brindle-Denied/Operational was denied (error 5): run as administrator"
check "the debug channel is skipped" has_line "$log" "Event channel Brindle-Debug/Debug is skipped"
check "newest first, message rendered" has_line "$E2E_DIR/served/ch/Test.csv" \
  ',3,102,Information,Brindle-Test,TESTPC,S-1-5-18,"Test event 102 ran,'
check "a missing publisher: no message, the reason, the data kept" has_line "$E2E_DIR/served/ch/Orphans.csv" \
  ',,publisher not installed,"Script=step 1; Path=C:\a, ""b"" & <c>"'
readback() {  # record id and Script of each record, as the reader finds them and as served
  /usr/bin/python3 - "$E2E_DIR/served/ch/$1.evtx" "$E2E_DIR/served/$2.xml" <<'PY'
import re, sys, Evtx.Evtx as E
pick = lambda x: re.search(r"RecordID>(\d+)<.*Script['\"]>([^<]*)<", x).groups()
with E.Evtx(sys.argv[1]) as f:
    found = [pick(r.xml().replace("\n", "")) for r in f.records()]
served = [pick(line) for line in reversed(open(sys.argv[2]).read().splitlines())]
sys.exit(not (found == served and len(found) > 0))
PY
}
check "the .evtx files read back to the records served" \
  eval "readback Test Brindle-Test%4Operational && readback Orphans Brindle-Orphan%4Operational"
"$TOVKIT" report "$E2E_DIR/served/r.tgz" -o "$E2E_DIR/served/r.html" >/dev/null
check "the report sums up a channel as a classic log" grep -qF "ch/Test.csv (3 records)" "$E2E_DIR/served/r.html"

rm "$sys32/wevtapi.dll"  # as on XP: Wine loads a file named by its path whatever the override
run absent d
check "without wevtapi.dll one line" test "$(grep -c 'INFORMATION,Event channels are not available on this system (wevtapi.dll cannot be loaded' "$log")" = 1
check "the classic logs as before, no channel file" test -f "$E2E_DIR/absent/ch/Application Log.csv" -a ! -e "$E2E_DIR/absent/ch/Test.evtx"

cp "$E2E_DIR/wine-wevtapi.dll" "$sys32/wevtapi.dll"
run stubs b
check "Wine's stubs do not work: one line, and nothing ends the process" test "$(grep -c ',INFORMATION,.*does not work on this system (error' "$log")" = 1
check "the run goes on to the classic logs" test -f "$E2E_DIR/stubs/ch/System Log.csv"
e2e_done

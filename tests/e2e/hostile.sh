#!/usr/bin/env bash
# Whole runs on a hostile machine: links planted where a run deletes, locks
# and writes, and hostile names. After each, every file outside the result
# folder is byte-identical. Runs racing for one result name: fleet.sh.
source "$(dirname "$0")/lib.bash"
exe=$(realpath "$1")
probe=$(realpath "$2/tests/exec_probe.exe")

# Sums of every file outside out/, links not followed.
outside() {
  (cd "$E2E_DIR" && find . -path ./out -prune -o -type f -print0 | sort -z | xargs -0 sha1sum)
}
# In the background, once the script's tool runs: the command, in $E2E_DIR.
while_tool_runs() {
  (for _ in $(seq 300); do [ -d "out/~BX_TEMP/slow" ] && break; sleep 0.1; done; "$@") &
}
doc() { echo "$E2E_DIR/victim/doc.txt"; }

# Outside every drive of the prefix, too.
far="$WINEPREFIX/../hostile-far.txt"
echo far >"$far"
plant_old_temp() {
  mkdir -p "out/~BX_TEMP/old" && ln -s "$(doc)" "out/~BX_TEMP/old/doc.lnk" &&
    ln -s "$far" "out/~BX_TEMP/far.lnk"
}
plant_temp() { ln -s "$PWD/victim" "out/~BX_TEMP"; }
plant_lock() { ln -s "$(doc)" "out/~BX_TEMP.lock"; }
plant_live() { while_tool_runs ln -s "$(doc)" "out/~BX_TEMP/slow/doc.lnk"; }
plant_result() { ln -s "$(doc)" out/r.tgz; }
# Links to files not there yet, where the collectors after the tool write.
plant_dangling() {
  while_tool_runs bash -c 'for name in Reg.txt PROCESS_LIST.txt Copy/C/e2e_hostile_dangling/slow.tov; do
    mkdir -p "out/~BX_TEMP/slow/$(dirname "$name")" && ln -s "$PWD/victim/new-$(basename "$name")" "out/~BX_TEMP/slow/$name"
  done'
}
# A link to nothing at the name the copy is mirrored to: it goes beside it.
plant_copy_name() {
  while_tool_runs bash -c 'at="out/~BX_TEMP/slow/Copy/C/$(basename "$PWD")" && mkdir -p "$at" &&
    ln -s "$PWD/victim/new-slow.tov" "$at/slow.tov"'
}
plant_swap() { while_tool_runs bash -c 'mv "out/~BX_TEMP" moved && ln -s "$PWD/victim" "out/~BX_TEMP"'; }

# name | plant | result file in out/ ("-": none) | exit code
cases="old-temp|plant_old_temp|r.tgz|4
temp-link|plant_temp|-|1
lock|plant_lock|r.tgz|4
live|plant_live|r.tgz|4
dangling|plant_dangling|r.tgz|1
copy-name|plant_copy_name|r.tgz|0
result-link|plant_result|r.tgz|0
swapped|plant_swap|-|1"
while IFS='|' read -r name plant result code; do
  e2e_setup "hostile_$name" "$exe"
  cd "$E2E_DIR" || exit 1
  mkdir -p out victim/deep
  echo precious >victim/doc.txt
  echo deeper >victim/deep/keep.txt
  cp "$probe" probe.exe
  printf '<Slow><EXECUTE Wait="~1 $TOOLDIR$\\probe.exe sleep 3000"/><REGISTRY Reg="HKEY_CURRENT_USER\\Environment"/>
<MISCELLANEOUS PROCESS_LIST="yes"/><FILES Copy="$TOOLDIR$\\slow.tov"/></Slow>\r\n' >slow.tov
  sign slow.tov
  before=$(outside)
  "$plant"
  brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
  status=$?
  wait
  [ "$name" = swapped ] && rm -rf moved
  check "$name: exit code $code" test "$status" -eq "$code"
  check "$name: nothing outside the result folder changed" test "$(outside)" = "$before"
  if [ "$result" != - ]; then
    check "$name: the result is a file of its own, clean" \
      bash -c "[ -f 'out/$result' ] && [ ! -L 'out/$result' ] && '$TOVKIT' inspect 'out/$result' >/dev/null"
  else
    check "$name: no result" bash -c "! ls out/*.tgz 2>/dev/null"
  fi
  cd - >/dev/null || exit 1
done <<<"$cases"

check "a file outside every drive is untouched" test "$(cat "$far")" = far
rm -f "$far"

# The planted file link in the live folder is set aside, and said so.
log=$(tar -xzOf "$WINEPREFIX/drive_c/e2e_hostile_live/out/r.tgz" 'Activity Log.csv' | tr -d '\r')
check "live: the link is named in a warning" grep -q ',WARNING,File slow\\doc.lnk in the result folder is a link' <<<"$log"
check "live: and not packed" bash -c "! tar -tzf '$WINEPREFIX/drive_c/e2e_hostile_live/out/r.tgz' | grep -q doc.lnk"
# A collector that could not write through the planted link says so.
log=$(tar -xzOf "$WINEPREFIX/drive_c/e2e_hostile_dangling/out/r.tgz" 'Activity Log.csv' | tr -d '\r')
check "dangling: the list not written is an ERROR" grep -q ',ERROR,Unable to write .*PROCESS_LIST.txt' <<<"$log"
log=$(tar -xzOf "$WINEPREFIX/drive_c/e2e_hostile_copy-name/out/r.tgz" 'Activity Log.csv' | tr -d '\r')
check "copy-name: the copy goes beside the link" grep -q 'Collected File: .* as slow\\Copy\\slow.tov$' <<<"$log"

e2e_done

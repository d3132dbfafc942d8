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
# In the background, once PATH is there (the script's tool then runs): the
# command, in $E2E_DIR. The tool waits for "planted", so the command always
# lands mid-run, however slow the machine.
once_there() {
  local path=$1
  shift
  rm -f planted
  (for _ in $(seq 2800); do [ -e "$path" ] && break; sleep 0.1; done; "$@"; touch planted) &
}
while_tool_runs() { once_there "out/~BX_TEMP/slow" "$@"; }
# The copy the late script's FILES action made, before its tool runs.
copy() { echo "out/~BX_TEMP/slow/Copy/C/e2e_hostile_$name/data.txt"; }
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
# Its target held by a Windows process: packing never opens a link it keeps.
plant_live() {
  "$e2e_repo/tests/harness/wine-run" "$E2E_DIR/probe.exe" hold "$E2E_WIN\\victim\\held.txt" 15000 &
  while_tool_runs ln -s "$E2E_DIR/victim/held.txt" "out/~BX_TEMP/slow/doc.lnk"
}
plant_result() { ln -s "$(doc)" out/r.tgz; }
# Links to files not there yet, where the collectors after the tool write.
plant_dangling() {
  while_tool_runs bash -c 'for name in Reg.txt PROCESS_LIST.txt Copy/C/e2e_hostile_dangling/slow.tov; do
    mkdir -p "out/~BX_TEMP/slow/$(dirname "$name")" && ln -s "$PWD/victim/new-$(basename "$name")" "out/~BX_TEMP/slow/$name"
  done'
}
plant_swap() { while_tool_runs bash -c 'mv "out/~BX_TEMP" moved && ln -s "$PWD/victim" "out/~BX_TEMP"'; }
# Hard links to another file where the run copies its next script, and
# under the run's own list and log.
plant_script_link() { while_tool_runs ln "$(doc)" "out/~BX_TEMP/z.tov"; }
plant_list_link() { while_tool_runs ln -f "$(doc)" "out/~BX_TEMP/FileList.csv"; }
plant_log_link() { while_tool_runs ln -f "$(doc)" "out/~BX_TEMP/Activity Log.csv"; }
# A collected copy replaced by a hard link, or changed, before packing.
plant_copy_link() { once_there "$(copy)" ln -f "$(doc)" "$(copy)"; }
plant_copy_changed() { once_there "$(copy)" bash -c "echo changed >'$(copy)'"; }
plant_copy_symlink() { once_there "$(copy)" ln -sf "$(doc)" "$(copy)"; }
# A link to nothing where the next copy is mirrored to: the copy goes beside.
plant_copy_name() { once_there "$(copy)" ln -s "$PWD/victim/new.tov" "$(dirname "$(copy)")/slow.tov"; }
# A folder link where FILES makes its mirrored folder.
plant_mirror() {
  while_tool_runs bash -c 'mkdir -p "out/~BX_TEMP/slow/Copy" && ln -s "$PWD/victim" "out/~BX_TEMP/slow/Copy/C"'
}
plant_out_swap() { while_tool_runs bash -c 'mv out out-moved && ln -s "$PWD/victim" out'; }

# name | plant | result file in out/ ("-": none; "!": there, not clean) | exit code
cases="old-temp|plant_old_temp|r.tgz|4
temp-link|plant_temp|-|1
lock|plant_lock|r.tgz|4
live|plant_live|r.tgz|4
dangling|plant_dangling|r.tgz|1
result-link|plant_result|r.tgz|0
swapped|plant_swap|-|1
script-link|plant_script_link|r.tgz|4
list-link|plant_list_link|r.tgz!|1
log-link|plant_log_link|r.tgz!|1
copy-link|plant_copy_link|r.tgz!|1
copy-changed|plant_copy_changed|r.tgz!|1
copy-symlink|plant_copy_symlink|r.tgz!|1
copy-name|plant_copy_name|r.tgz|0
mirror-link|plant_mirror|r.tgz|4
out-swap|plant_out_swap|-|1"
while IFS='|' read -r name plant result code; do
  e2e_setup "hostile_$name" "$exe"
  cd "$E2E_DIR" || exit 1
  mkdir -p out victim/deep
  echo precious >victim/doc.txt
  printf held >victim/held.txt
  echo deeper >victim/deep/keep.txt
  cp "$probe" probe.exe
  tool='<EXECUTE Wait="~5 $TOOLDIR$\\probe.exe await $TOOLDIR$\\planted 280000"/>'
  if [ "${name#copy-}" != "$name" ]; then
    echo data >data.txt
    printf '<Slow><FILES Copy="$TOOLDIR$\\data.txt"/>%s<FILES Copy="$TOOLDIR$\\slow.tov"/></Slow>\r\n' \
      "$tool" >slow.tov
  else
    printf '<Slow>%s<REGISTRY Reg="HKEY_CURRENT_USER\\Environment"/>
<MISCELLANEOUS PROCESS_LIST="yes"/><FILES Copy="$TOOLDIR$\\slow.tov"/></Slow>\r\n' "$tool" >slow.tov
  fi
  printf '<Z><DEBUG z="1"/></Z>\r\n' >z.tov
  sign slow.tov z.tov
  touch planted
  before=$(outside)
  "$plant"
  brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
  status=$?
  wait
  [ "$name" = swapped ] && rm -rf moved
  [ "$name" = out-swap ] && rm -rf out-moved
  check "$name: exit code $code" test "$status" -eq "$code"
  check "$name: nothing outside the result folder changed" test "$(outside)" = "$before"
  if [ "${result%!}" != "$result" ]; then
    check "$name: the result says it is not clean" \
      bash -c "[ -f 'out/${result%!}' ] && ! '$TOVKIT' inspect 'out/${result%!}' >/dev/null"
  elif [ "$result" != - ]; then
    check "$name: the result is a file of its own, intact" \
      bash -c "[ -f 'out/$result' ] && [ ! -L 'out/$result' ] && { '$TOVKIT' inspect 'out/$result' >/dev/null; s=\$?; [ \$s = 0 ] || [ \$s = 4 ]; }"
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
check "live: and the link kept is an ERROR" grep -q ',ERROR,.*doc.lnk is a link that c' <<<"$log"
check "live: and not packed" bash -c "! tar -tzf '$WINEPREFIX/drive_c/e2e_hostile_live/out/r.tgz' | grep -q doc.lnk"
# A collector that could not write through the planted link says so.
log=$(tar -xzOf "$WINEPREFIX/drive_c/e2e_hostile_dangling/out/r.tgz" 'Activity Log.csv' | tr -d '\r')
check "dangling: the list not written is an ERROR" grep -q ',ERROR,Unable to write .*PROCESS_LIST.txt' <<<"$log"
at="$WINEPREFIX/drive_c/e2e_hostile"
check "copy-changed: inspect gives the reason" bash -c \
  "'$TOVKIT' inspect '$at'_copy-changed/out/r.tgz | grep -q 'data.txt: changed while packed'"
check "copy-name: the copy goes beside the link" grep -q 'Collected File: .* as slow\\Copy\\slow.tov' \
  <(tar -xzOf "$at"_copy-name/out/r.tgz 'Activity Log.csv')
check "copy-symlink: inspect gives the reason" bash -c \
  "'$TOVKIT' inspect '$at'_copy-symlink/out/r.tgz | grep -q 'data.txt: is a link'"
check "copy-link: the hard link is named in an ERROR" grep -q \
  ',ERROR,File slow.Copy.C.e2e_hostile_copy-link.data.txt is a hard link (2 names)' "$at"_copy-link/out/~BX_TEMP/'Activity Log.csv'
check "mirror-link: the folder not made by the run is an ERROR" grep -q \
  ',ERROR,Unable to collect file .*slow.tov: folder .*Copy is not one the run made' \
  <(tar -xzOf "$at"_mirror-link/out/r.tgz 'Activity Log.csv')
check "script-link: the name found taken is an ERROR" grep -q \
  ',ERROR,File z.tov was in the result folder before' <(tar -xzOf "$at"_script-link/out/r.tgz 'Activity Log.csv')

# While the run waits on its tool, a Windows process tries to rename each
# folder the run holds: the output folder, the temporary folder, the
# script's folder and a folder FILES made.
e2e_setup hostile_held "$exe"
cd "$E2E_DIR" || exit 1
mkdir out
cp "$probe" probe.exe
tmp="$E2E_WIN\\out\\~BX_TEMP"
moves=""
for folder in "$E2E_WIN\\out" "$tmp" "$tmp\\held" "$tmp\\held\\Copy\\C"; do
  moves+=" move $folder $E2E_WIN\\report.txt"
done
printf '<Held><FILES Copy="$TOOLDIR$\\held.tov"/><EXECUTE Wait="~1 $TOOLDIR$\\probe.exe%s"/></Held>\r\n' \
  "$moves" >held.tov
sign held.tov
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "held: the run ends well" test $? -eq 0
check "held: every folder refused its rename" test "$(grep -c ' refused ' report.txt)" -eq 4
check "held: the result is clean" "$TOVKIT" inspect out/r.tgz
cd - >/dev/null || exit 1

# Names the system's parsing would change are collected each with its own
# bytes; a script path naming a device is never opened.
e2e_setup hostile_names "$exe"
cd "$E2E_DIR" || exit 1
mkdir out src
for name in dot dot. sp "sp " nul.txt; do printf 'bytes of %s' "$name" >"src/$name"; done
printf '<N><FILES Copy="$TOOLDIR$\\src\\*"/></N>\r\n' >n.tov
sign n.tov
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "names: exit code 0" test $? -eq 0
mkdir x && tar -xzf out/r.tgz -C x
for name in dot dot. sp "sp " nul.txt; do
  check "names: '$name' holds its own bytes" \
    test "$(cat "x/n/Copy/C/e2e_hostile_names/src/$name")" = "bytes of $name"
done
rm -rf out/* && rm n.tov
brindle "/xmlfile=$E2E_WIN\\COM1" "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "device: the run goes on, and says no script was found" test $? -eq 4
cd - >/dev/null || exit 1

e2e_done

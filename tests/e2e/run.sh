#!/usr/bin/env bash
# Whole runs of brindle.exe under Wine, checked from outside.
source "$(dirname "$0")/lib.bash"
exe=$1

# --- signed and edited scripts, a case id, a silent run
e2e_setup run "$exe"
printf '<First><DEBUG Note="one"/></First>\r\n' >"$E2E_DIR/first.tov"
printf '<Second><DEBUG Note="two"/></Second>\r\n' >"$E2E_DIR/second.tov"
printf '<Edited><DEBUG Note="x"/></Edited>\r\n' >"$E2E_DIR/edited.tov"
sign "$E2E_DIR"/*.tov
sed -i 's/Note="x"/Note="y"/' "$E2E_DIR/edited.tov"
mkdir -p "$E2E_DIR/out"
brindle /case=Case42 "/outfile=$E2E_WIN\\out\\r.tgz" /silent
status=$?
check "the run ends by itself, exit code 4: a script was refused" test "$status" -eq 4
temp="$E2E_DIR/out/~BX_TEMP"
result="$E2E_DIR/out/case42 r.tgz"
check "the result is named after the case" test -f "$result"
check "the temporary folder is gone" test ! -e "$temp"
check "gzip accepts the result" gzip -t "$result"
check "GNU tar extracts it without a word" \
  bash -c "[ -z \"\$(tar -xzf '$result' -C '$E2E_DIR/out' 2>&1)\" ]"
check "Python's tarfile reads every member" python3 -c "
import sys, tarfile, warnings
warnings.simplefilter('error')
with tarfile.open(sys.argv[1], 'r:gz') as t:
    names = sorted(m.name for m in t.getmembers())
    for m in t.getmembers():
        t.extractfile(m).read()
assert names == ['Activity Log.csv', 'FileList.csv', 'edited.tov', 'first.tov', 'second.tov'], names
" "$result"
check "tovkit inspect finds it clean" "$TOVKIT" inspect "$result"
log="$E2E_DIR/out/Activity Log.csv"
first_lines() { head -n 3 "$1" | tr -d '\r'; }
check "the log starts with the case line and an empty line" \
  test "$(first_lines "$log")" = "$(printf 'TOV TOOL CASE ID = case42\n\nTime,Type,Description')"
check "each script is found" bash -c "[ \$(tr -d '\r' <'$log' | grep -c ',INFORMATION,XML file found: ') = 3 ]"
check "the edited script is refused" has_line "$log" \
  ",ERROR,XML file edited.tov does not have a valid signiture and will not be processed."
check "the signed ones are not" bash -c "! grep -q 'first.tov does not' '$log'"

# --- collectors in one script: files copied mirrored, a key exported
e2e_setup collect "$exe"
mkdir -p "$E2E_DIR/data/sub" "$E2E_DIR/out"
echo alpha >"$E2E_DIR/data/a.log"
echo beta >"$E2E_DIR/data/sub/b.log"
cp "$2/tests/exec_probe.exe" "$E2E_DIR/probe.exe"
cat >"$E2E_DIR/collect.tov" <<EOT
<Collect>
  <FILES Logs="$E2E_WIN\\data\\*.log /s"/>
  <FILE_VERSIONS Tool="\$TOOLDIR\$\\brindle.exe"/>
  <REGISTRY Fonts="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"/>
  <MISCELLANEOUS PROCESS_LIST="yes"/>
  <EXECUTE Probe="~1 \$TOOLDIR\$\\probe.exe write \$DATADIR\$\\probe.txt hello"/>
</Collect>
EOT
sign "$E2E_DIR/collect.tov"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
listing=$(tar -tzf "$E2E_DIR/out/r.tgz")
check "files are copied below the action, mirrored by drive" \
  grep -qx 'collect/Logs/C/e2e_collect/data/sub/b.log' <<<"$listing"
check "the key is exported" grep -qx 'collect/Fonts.txt' <<<"$listing"
check "by the registry editor" bash -c \
  "tar -xzOf '$E2E_DIR/out/r.tgz' collect/Fonts.txt | iconv -f UTF-16 -t UTF-8 | grep -q 'Windows Registry Editor Version 5.00'"
check "file versions are listed" bash -c \
  "tar -xzOf '$E2E_DIR/out/r.tgz' collect/Tool.csv | tr -d '\r' | grep -q '^C:\\\\e2e_collect\\\\brindle.exe,'"
check "the process list names this run" bash -c \
  "tar -xzOf '$E2E_DIR/out/r.tgz' collect/PROCESS_LIST.txt | tr -d '\r' | grep -qi '^brindle'"
check "the external tool ran and its file was swept up" \
  bash -c "tar -xzOf '$E2E_DIR/out/r.tgz' collect/probe.txt | grep -q hello"
check "and all of it is clean" "$TOVKIT" inspect "$E2E_DIR/out/r.tgz"

# --- a destination that cannot be written: no crash, no box, the process ends
e2e_setup nodest "$exe"
brindle "/outfile=$E2E_WIN\\missing\\r.tgz" /silent
check "a missing destination ends the run with exit code 1" test $? -eq 1
check "and leaves no result" test ! -e "$E2E_DIR/missing"
# A relative one whose folder is missing: never a question, the same outcome.
(cd "$E2E_DIR" && timeout 300 "$e2e_repo/tests/harness/wine-run" "$E2E_DIR/brindle.exe" \
  "/outfile=missing\\r.tgz" /silent)
check "a relative missing destination never asks, exit code 1" test $? -eq 1
brindle /silent
check "silent without a result path is a bad command line (3), never a question" test $? -eq 3

# --- a silent run needs no display
e2e_setup nodisplay "$exe"
mkdir -p "$E2E_DIR/out"
DISPLAY= brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "without a display a silent run still runs (exit 0)" test $? -eq 0
check "and writes its result" "$TOVKIT" inspect "$E2E_DIR/out/r.tgz"

# --- folder links: a tree search never enters one (two links to "." once
# made a run copy one file thousands of times)
e2e_setup links "$exe"
mkdir -p "$E2E_DIR/data/real" "$E2E_DIR/out"
echo once >"$E2E_DIR/data/real/one.log"
ln -s . "$E2E_DIR/data/real/loop1"
ln -s . "$E2E_DIR/data/real/loop2"
ln -s real "$E2E_DIR/data/alias"
cat >"$E2E_DIR/links.tov" <<EOT
<Links><FILES Logs="$E2E_WIN\\data\\*.log /s"/></Links>
EOT
sign "$E2E_DIR/links.tov"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "a run over folder links ends" test $? -ne 124
listing=$(tar -tzf "$E2E_DIR/out/r.tgz" 2>/dev/null | grep '^links/Logs/.*\.log$')
check "the file is collected once, where it really is" \
  test "$listing" = "links/Logs/C/e2e_links/data/real/one.log"

# --- a link planted as "~BX_TEMP": never followed, its target untouched
e2e_setup link "$exe"
mkdir -p "$E2E_DIR/out" "$E2E_DIR/victim/deep"
echo precious >"$E2E_DIR/victim/keep.txt"
echo deeper >"$E2E_DIR/victim/deep/keep.txt"
ln -s "$E2E_DIR/victim" "$E2E_DIR/out/~BX_TEMP"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "the link's target keeps its files" test -f "$E2E_DIR/victim/keep.txt"
check "and its subfolders" test -f "$E2E_DIR/victim/deep/keep.txt"
# Windows removes a junction itself; Wine cannot remove a Unix link, so the
# run refuses to write through it.
check "nothing of the run lands behind the link" \
  bash -c "[ \"\$(find '$E2E_DIR/victim' -type f | wc -l)\" = 2 ]"
check "the link is gone, or the run reports a write failure" \
  bash -c "[ ! -L '$E2E_DIR/out/~BX_TEMP' ] || [ ! -e '$E2E_DIR/out/r.tgz' ]"

# --- a file link a tool leaves in the result: packing never deletes its target
e2e_setup flink "$exe"
mkdir -p "$E2E_DIR/out"
echo precious >"$E2E_DIR/victim.txt"
cp /bin/ln "$E2E_DIR/ln.exe"  # Wine starts a Unix program as it is
cat >"$E2E_DIR/flink.tov" <<EOT
<Flink><EXECUTE A="~1 \$TOOLDIR\$\\ln.exe -s $E2E_DIR/victim.txt $E2E_DIR/out/~BX_TEMP/flink/planted.txt"/></Flink>
EOT
sign "$E2E_DIR/flink.tov"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "a tool's link was planted" bash -c "tar -tzf '$E2E_DIR/out/r.tgz' | grep -q planted.txt || test -L '$E2E_DIR/out/~BX_TEMP/flink/planted.txt'"
check "the file behind it is still there" test -f "$E2E_DIR/victim.txt"

# --- long names: a tool writes two files whose 150-character names differ
# only at their end, one of them in a deep tree; both arrive whole
e2e_setup long "$exe"
mkdir -p "$E2E_DIR/out"
cp "$2/tests/exec_probe.exe" "$E2E_DIR/probe.exe"
stem=$(printf 'service-trace-%0136d' 0)
deep='level1\\level2\\level3\\level4'
cat >"$E2E_DIR/long.tov" <<EOT
<Long>
  <EXECUTE A="~1 \$TOOLDIR\$\\probe.exe write \$DATADIR\$\\${stem}-1.log first"/>
  <EXECUTE B="~1 cmd /c mkdir \$DATADIR\$\\${deep}"/>
  <EXECUTE C="~1 \$TOOLDIR\$\\probe.exe write \$DATADIR\$\\${deep}\\${stem}-2.log second"/>
</Long>
EOT
sign "$E2E_DIR/long.tov"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
listing=$(tar -tzf "$E2E_DIR/out/r.tgz" 2>/dev/null)
check "a long name arrives whole" grep -qx "long/${stem}-1.log" <<<"$listing"
check "and one in a deep tree" \
  grep -qx "long/level1/level2/level3/level4/${stem}-2.log" <<<"$listing"
check "GNU tar unpacks both to their contents" bash -c \
  "mkdir -p '$E2E_DIR/x' && tar -xzf '$E2E_DIR/out/r.tgz' -C '$E2E_DIR/x' &&
   [ \"\$(cat '$E2E_DIR/x/long/${stem}-1.log')\" = first ] &&
   [ \"\$(cat '$E2E_DIR/x/long/level1/level2/level3/level4/${stem}-2.log')\" = second ]"
check "and the long-named result is clean" "$TOVKIT" inspect "$E2E_DIR/out/r.tgz"

# --- no script at all: the log holds only its header
e2e_setup empty "$exe"
mkdir -p "$E2E_DIR/out"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
tar -xzf "$E2E_DIR/out/r.tgz" -C "$E2E_DIR/out"
log="$E2E_DIR/out/Activity Log.csv"
check "without scripts the log is only its header" \
  bash -c "[ \"\$(tr -d '\r' <'$log')\" = 'Time,Type,Description' ]"

# --- event logs: an EVENT_LOGS element, then the switches. Wine's log is
# empty and its backup writes nothing: header-only files, no .evt, and no
# backup claimed.
e2e_setup events "$exe"
mkdir -p "$E2E_DIR/out"
cat >"$E2E_DIR/ev.tov" <<'EOT'
<Ev><EVENT_LOGS Security_log_required="No" System_log_Recent_Days="2"/></Ev>
EOT
sign "$E2E_DIR/ev.tov"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "a run with event logs ends with exit code 0" test $? -eq 0
listing=$(tar -tzf "$E2E_DIR/out/r.tgz" | sort | tr '\n' ' ')
check "the element's logs are exported, no backup file invented" \
  test "$listing" = "Activity Log.csv FileList.csv ev.tov ev/Application Log.csv ev/System Log.csv "
check "each CSV is its header" bash -c "[ \"\$(tar -xzOf '$E2E_DIR/out/r.tgz' 'ev/System Log.csv' | tr -d '\r')\" = \
'Type,Date,Time,Source,Category,Event,User,Computer,Description,Data' ]"
tar -xzf "$E2E_DIR/out/r.tgz" -C "$E2E_DIR/out" 'Activity Log.csv' FileList.csv
log="$E2E_DIR/out/Activity Log.csv"
# The command line, and so the result path, comes lower-cased.
temp_win="${E2E_WIN,,}\\out\\~BX_TEMP"
check "the log says where each log went" has_line "$log" \
  ",INFORMATION,Event log dumped to $temp_win\\ev\\System Log.csv"
check "and that no backup was written" has_line "$log" \
  ",WARNING,Event log backup $temp_win\\ev\\Application Log.evt was not written, although"
check "the manifest lists the CSVs" has_line "$E2E_DIR/out/FileList.csv" ",ev\\Application Log.csv,"
check "and nothing is wrong with the result" "$TOVKIT" inspect "$E2E_DIR/out/r.tgz"
rm -f "$E2E_DIR/out/r.tgz"
brindle /event=0 /application=3 "/outfile=$E2E_WIN\\out\\r.tgz" /silent
listing=$(tar -tzf "$E2E_DIR/out/r.tgz" | grep '^ev/' | tr '\n' ' ')
check "/event=0 /application=3 leaves the Application log only" test "$listing" = "ev/Application Log.csv "
rm -f "$E2E_DIR/out/r.tgz" "$E2E_DIR/ev.tov"
printf '<Ev><MISCELLANEOUS EVENT_LOGS="x"/></Ev>\r\n' >"$E2E_DIR/ev.tov"
sign "$E2E_DIR/ev.tov"
brindle /event=5 "/outfile=$E2E_WIN\\out\\r.tgz" /silent
listing=$(tar -tzf "$E2E_DIR/out/r.tgz" | grep -c '^ev/.* Log\.csv$')
check "the action takes all three logs once; /event=5 alone adds nothing" test "$listing" = 3

# --- paths and names from the script: ".." resolved before the copy, a tool
# folder with "[x64]" taken literally, device names as action names, a name
# an earlier action wrote. Nothing outside the result folder changes.
rm -f "$WINEPREFIX"/dosdevices/com* "$WINEPREFIX"/dosdevices/lpt*
e2e_setup 'names[x64]' "$exe"
drive_c="$WINEPREFIX/drive_c"
out="$drive_c/e2e_names_out"
rm -rf "$out" "$drive_c/e2e_names_src"
mkdir -p "$E2E_DIR/data/sub" "$out" "$drive_c/e2e_names_src"
echo alpha >"$drive_c/e2e_names_src/a.log"
# A name the code page holds beyond ASCII, and names it cannot hold.
for name in café Привет 日本 😀; do echo "$name" >"$drive_c/e2e_names_src/$name.log"; done
echo note >"$E2E_DIR/note.txt"
up='\..\..\..\..\..\..\..'
cat >"$E2E_DIR/names.tov" <<EOT
<Names>
  <FILES Up="\$TOOLDIR\$\\data\\sub${up}\\e2e_names_src\\*.log"/>
  <FILES Ini="%WINDIR%\\..\\..\\..\\windows\\win.ini"/>
  <FILES Tool="\$TOOLDIR\$\\*.txt"/>
  <FILE_VERSIONS AUX="\$TOOLDIR\$\\note.txt" COM1="\$TOOLDIR\$\\note.txt" NUL="\$TOOLDIR\$\\note.txt"/>
  <REGISTRY CON="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"/>
  <ACTIVE_DIRECTORY><DUMP Name="PROCESS_LIST.txt"/><SEARCH Value="(cn=*)"><Scope Value="x"/><Attrib Value="cn"/></SEARCH></ACTIVE_DIRECTORY>
  <MISCELLANEOUS PROCESS_LIST="yes"/>
</Names>
EOT
sign "$E2E_DIR/names.tov"
brindle '/outfile=C:\e2e_names_out\r.tgz' /silent
check "a run with odd paths and names ends with exit code 0" test $? -eq 0
check "nothing but the result appeared outside the result folder" test "$(cd "$drive_c" && find . \
  \( -path ./windows -o -path ./users \) -prune -o -type f -cnewer "$E2E_DIR/names.tov" -print)" = ./e2e_names_out/r.tgz
# The Cyrillic name is too long for the mirrored path once escaped: flat.
members=(names/Up/C/e2e_names_src/a.log names/Up/C/e2e_names_src/café.log names/Up/Привет.log
  names/Up/C/e2e_names_src/日本.log names/Up/C/e2e_names_src/😀.log names/Ini/C/windows/win.ini
  'names/Tool/C/e2e_names[x64]/note.txt' names/_AUX.csv names/_COM1.csv names/_NUL.csv
  names/_CON.txt names/PROCESS_LIST.txt 'names/PROCESS_LIST (2).txt')
listing=$(LC_ALL=C.UTF-8 tar -tzf "$out/r.tgz")
for member in "${members[@]}"; do check "GNU tar lists $member" grep -qxF "$member" <<<"$listing"; done
check "Python's tarfile too" python3 -c "import sys, tarfile
sys.exit(bool(set(sys.argv[2:]) - set(tarfile.open(sys.argv[1]).getnames())))" "$out/r.tgz" "${members[@]}"
command -v bsdtar >/dev/null || echo "bsdtar: not installed, not checked"
command -v bsdtar >/dev/null && check "and bsdtar" grep -qxF names/Up/Привет.log <<<"$(bsdtar -tzf "$out/r.tgz")"
check "and tovkit inspect finds it clean" "$TOVKIT" inspect "$out/r.tgz"
tar -xzf "$out/r.tgz" -C "$out" 'Activity Log.csv'
check "a device name is logged as such" has_line "$out/Activity Log.csv" \
  ",WARNING,Action name NUL cannot name a file (it names a device): writing _NUL.csv instead"

e2e_done

#!/usr/bin/env bash
# A scrubbed result names no one: one run with /scrub over files, a
# registry key, a tool's output and the event logs, all holding the machine's
# names and planted addresses, searched from outside in every encoding; the
# same run without /scrub keeps them all.
source "$(dirname "$0")/lib.bash"
exe=$1
run_wine() { timeout 60 "$e2e_repo/tests/harness/wine-run" "$@"; }

e2e_setup scrub "$exe"
mkdir -p "$E2E_DIR/out"
# Wine's names are the Unix ones; the profile folder is the user's.
host=$(hostname | cut -c1-15)
user=$(id -un)
ip4=10.20.30.40 ip6=fe80::1234:5678:9abc:def0 mac=00-1A-2B-3C-4D-5E mail=jsmith@contoso.com
text="user $user on $host (CONTOSO\\$user) at $ip4, $ip6; mac $mac; mail $mail"
data="$WINEPREFIX/drive_c/users/$user/scrub_$host"
rm -rf "$data" && mkdir -p "$data/sub"
printf '%s\r\n' "$text" >"$data/$host-notes.log"
printf '%s\r\n' "$text" | iconv -f UTF-8 -t UTF-16 >"$data/sub/wide.log"
printf 'MZ\0\0%s' "$text" >"$data/sub/tool.log"
printf '%s\r\n' "$text" >"$data/sub/😀-$user.log"  # a name the code page lacks
run_wine reg add 'HKCU\Software\BrindleScrub' /v Note /d "$text" /f >/dev/null 2>&1
cat >"$E2E_DIR/s.tov" <<EOT
<S>
  <PRIVACY Words="contoso"/>
  <FILES Data="C:\\users\\$user\\scrub_$host\\*.log /s"/>
  <REGISTRY Key="HKEY_CURRENT_USER\\Software\\BrindleScrub"/>
  <EXECUTE Echo="~1 cmd /c echo $text &gt; \$DATADIR\$\\tool-$host.txt"/>
  <EVENT_LOGS Security_log_required="No" System_log_Recent_Days="2"/>
</S>
EOT
sign "$E2E_DIR/s.tov"

# found DIR: each original still found in a file or a name below DIR, in
# UTF-8, UTF-16LE and the code page; names as whole words, ignoring case.
found() {
  python3 - "$1" "$host" "$user" contoso "$ip4" "$ip6" "$mac" "$mail" <<'PY'
import os, re, sys
root, names, exact = sys.argv[1], sys.argv[2:5], sys.argv[5:]
def pats(word, whole):
  for enc in ('utf-8', 'utf-16-le', 'cp1252'):
    w = re.escape(word.lower().encode(enc))
    yield re.compile((rb'(?<![a-z0-9])' + w + rb'(?![a-z0-9])') if whole else w)
checks = [(w, p) for w in names for p in pats(w, True)] + [(w, p) for w in exact for p in pats(w, False)]
hits = set()
for folder, dirs, files in os.walk(root):
  for name in dirs + files:
    path = os.path.join(folder, name)
    blob = os.path.relpath(path, root).encode().lower()
    if os.path.isfile(path):
      blob += b'\n' + open(path, 'rb').read().lower()
    hits.update(w for w, p in checks if p.search(blob))
print(' '.join(sorted(hits)))
PY
}

brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent /scrub
check "a scrubbed run ends with exit code 0" test $? -eq 0
out="$E2E_DIR/out"
check "the map lies beside the result" test -f "$out/r.tgz.map.csv"
mkdir -p "$out/x" && tar -xzf "$out/r.tgz" -C "$out/x"
check "not one original in the scrubbed result" test -z "$(found "$out/x")"
check "and inspect finds it clean and scrubbed" \
  bash -c "o=\$('$TOVKIT' inspect '$out/r.tgz') && grep -q 'clean: .*; scrubbed' <<<\"\$o\""
log="$out/x/Activity Log.csv"
check "the binary file is left out, said in the log" grep -q ',WARNING,File .*tool\.log holds binary' "$log"
check "and the map" grep -q '^left out,.*tool\.log' "$out/r.tgz.map.csv"
check "the log counts what was replaced" grep -qE ',INFORMATION,Scrubbed: [1-9][0-9]* replacements' "$log"
pseudo() { tr -d '\r' <"$out/r.tgz.map.csv" | grep -i "^[a-z0-9]*,$1," | head -1 | cut -d, -f3; }
for original in "$host" "$user" "$ip4" "$mail"; do
  check "the map lists $original" test -n "$(pseudo "$original")"
done
for member in "$(pseudo "$host")-notes.log" "sub/wide.log" "tool-$(pseudo "$host").txt"; do
  check "$member holds the user's pseudonym" \
    bash -c "find '$out/x' -name '$(basename "$member")' -exec cat {} + | tr -d '\\0' | grep -qi '$(pseudo "$user")'"
done
check "a name the code page lacks arrives scrubbed" \
  bash -c "find '$out/x' -name '😀-$(pseudo "$user").log' | grep -q ."
check "the path names the user's pseudonym" bash -c "find '$out/x' -path '*/users/$(pseudo "$user")/*' | grep -q ."

# The same run without /scrub keeps every original and writes no map.
plain="$E2E_DIR/plain"
mkdir -p "$plain/x"
brindle "/outfile=$E2E_WIN\\plain\\r.tgz" /silent
check "the plain run ends with exit code 0" test $? -eq 0
tar -xzf "$plain/r.tgz" -C "$plain/x"
check "without /scrub every original is there" test "$(found "$plain/x")" = \
  "$(printf '%s\n' "$host" "$user" contoso "$ip4" "$ip6" "$mac" "$mail" | LC_ALL=C sort | paste -sd' ')"
check "and no map is written" test ! -e "$plain/r.tgz.map.csv"
rm -rf "$data"
e2e_done

#!/usr/bin/env bash
# ACTIVE_DIRECTORY in a whole run. Wine's directory system information lists
# no trees, so each file holds its header rows and the log says why.
source "$(dirname "$0")/lib.bash"
exe=$1

e2e_setup directory "$exe"
mkdir -p "$E2E_DIR/out"
cat >"$E2E_DIR/dir.tov" <<'XML'
<Directory>
  <ACTIVE_DIRECTORY>
    <SEARCH Value="(objectClass=user)"><Scope Value="all"/><Attrib Value="cn"/><Attrib Value="mail"/></SEARCH>
    <SEARCH Value="(memberOf=CN=Admins,DC=example)"><Attrib/></SEARCH>
  </ACTIVE_DIRECTORY>
  <ACTIVE_DIRECTORY><DUMP Name="..\evil.csv"/><SEARCH Value="(cn=*)"><Scope/><Attrib/></SEARCH></ACTIVE_DIRECTORY>
</Directory>
XML
sign "$E2E_DIR/dir.tov"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "the run ends by itself, exit code 0" test $? -eq 0
result="$E2E_DIR/out/r.tgz"
listing=$(tar -tzf "$result" 2>/dev/null)
member() { tar -xzOf "$result" "$1" | tr -d '\r'; }
check "the dump is in the result" grep -qx 'dir/ADS_Info.csv' <<<"$listing"
check "with its header rows only, a filter with commas quoted" test "$(member dir/ADS_Info.csv)" = \
  "$(printf '%s\n' 'all,(objectClass=user),cn,mail' ',"(memberOf=CN=Admins,DC=example)",cn')"
check "a refused name writes beside it, never outside the script's folder" \
  test "$(member 'dir/ADS_Info (2).csv')" = 'all,(cn=*),cn'
no_evil() { ! grep -q evil <<<"$listing"; }
check "nothing named evil anywhere" no_evil
rows=$(member FileList.csv | grep -cE ',dir\\ADS_Info( \(2\))?\.csv,$')
check "both are in the manifest" test "$rows" = 2
tar -xzf "$result" -C "$E2E_DIR/out" 'Activity Log.csv'
log="$E2E_DIR/out/Activity Log.csv"
check "the log says why the file has no rows" grep -q \
  ',WARNING,.*dir\\ADS_Info.csv holds header rows only' "$log"
check "and names the refused name" has_line "$log" ',WARNING,DUMP name ..\evil.csv refused'
check "tovkit inspect finds it clean" "$TOVKIT" inspect "$result"
e2e_done

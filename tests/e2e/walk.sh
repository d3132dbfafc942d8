#!/usr/bin/env bash
# A script walked by the real program: conditions decided on the facts Wine
# reports, actions dispatched in order, the script's own folder and DEBUG.
source "$(dirname "$0")/lib.bash"
exe=$1

e2e_setup walk "$exe"
cat >"$E2E_DIR/walk.tov" <<'XML'
<Walk>
  <DEBUG Zeta="last" Alpha="first"/>
  <Group><SUMMARY><DEBUG Hidden="x"/></SUMMARY><Nested><DEBUG Deep="yes"/></Nested></Group>
  <PROCESSIF_KERNEL_IS_WINNT><DEBUG OnNt="yes"/></PROCESSIF_KERNEL_IS_WINNT>
  <PROCESSIF_KERNEL_IS_WIN9X><DEBUG On9x="yes"/></PROCESSIF_KERNEL_IS_WIN9X>
  <Bogus Thing="1"/>
</Walk>
XML
sign "$E2E_DIR/walk.tov"
mkdir -p "$E2E_DIR/out"
brindle "/outfile=$E2E_WIN\\out\\r.tgz" /silent
check "the run ends by itself" test $? -ne 124
if [ -f "$E2E_DIR/out/r.tgz" ]; then
  tar -xzf "$E2E_DIR/out/r.tgz" -C "$E2E_DIR/out"
fi
log="$E2E_DIR/out/Activity Log.csv"
[ -f "$log" ] || log="$E2E_DIR/out/~BX_TEMP/Activity Log.csv"
names() { tr -d '\r' <"$log" | sed -n 's/^[^,]*,DEBUG,XML Name: //p' | tr '\n' ' '; }
check "actions run in order, hidden and false ones skipped" \
  test "$(names)" = "Alpha Zeta Deep OnNt Thing "
check "the true condition is logged" has_line "$log" \
  ",INFORMATION,Version logic PROCESSIF_KERNEL_IS_WINNT returned true."
check "the false condition is logged" has_line "$log" \
  ",INFORMATION,Version logic PROCESSIF_KERNEL_IS_WIN9X returned false."
check "the debug action writes its entry" has_line "$log" \
  ",DEBUG,Debug requested but not yet implemented"
check "an unknown section is reported" has_line "$log" ",ERROR,Unrecognised Action: Bogus<Thing>"
e2e_done

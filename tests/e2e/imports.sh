#!/usr/bin/env bash
# The product must run on a bare machine: a GUI program that imports only
# the system's DLLs, for 32 and 64 bits. The directory client library
# (activeds.dll) is loaded at run time, never imported, and the directory
# classes are exported by name. So is wevtapi.dll (event channels): a program
# importing it does not start on XP; the system-only list keeps it out.
source "$(dirname "$0")/lib.bash"
# Prints any other import it finds.
system_only() {
  ! "$1" -p "$2" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | grep -vxE \
    '(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|comctl32|comdlg32|version|msvcrt|rpcrt4|shlwapi)\.dll'
}
exports_classes() {
  local table class
  table=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
  for class in CADSIValue CADSIValues CADSIObject CADSISearch CADSISystemInfo CADSINameTranslate; do
    # Itanium mangling: the class name preceded by its length, as in the
    # constructor _ZN10CADSIValueC1Ev.
    grep -q "_ZN${#class}${class}C[12]Ev" <<<"$table" || {
      echo "$2 does not export $class"
      return 1
    }
  done
}
w32=$e2e_repo/build/win32/brindle.exe
check "win32 is a 32-bit program" bash -c "file '$w32' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "win32 imports only system DLLs" system_only i686-w64-mingw32-objdump "$w32"
check "win64 is a 64-bit GUI program" bash -c "file '$1' | grep -q 'PE32+ executable (GUI) x86-64'"
check "win64 imports only system DLLs" system_only x86_64-w64-mingw32-objdump "$1"
check "win32 exports the six directory classes" exports_classes i686-w64-mingw32-objdump "$w32"
check "win64 exports the six directory classes" exports_classes x86_64-w64-mingw32-objdump "$1"
e2e_done

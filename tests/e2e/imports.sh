#!/usr/bin/env bash
# The product must run on a bare machine: a GUI program that imports only
# the system's DLLs, for 32 and 64 bits. The directory client library
# (activeds.dll) is loaded at run time, never imported, and the directory
# classes are exported by name.
source "$(dirname "$0")/lib.bash"
system_only() {
  local imports
  imports=$("$1" -p "$2" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z')
  for dll in $imports; do
    case "$dll" in
      kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | ole32.dll | oleaut32.dll | \
        shell32.dll | comctl32.dll | comdlg32.dll | version.dll | msvcrt.dll | \
        rpcrt4.dll | shlwapi.dll) ;;
      *) echo "unexpected import $dll in $2"; return 1 ;;
    esac
  done
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
gui() { "$1" -p "$2" | grep -q 'Subsystem.*(Windows GUI)'; }
w32=$e2e_repo/build/win32/brindle.exe
check "win32 is a 32-bit program" bash -c "file '$w32' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "win32 imports only system DLLs" system_only i686-w64-mingw32-objdump "$w32"
check "win64 is a GUI program" gui x86_64-w64-mingw32-objdump "$1"
check "win64 imports only system DLLs" system_only x86_64-w64-mingw32-objdump "$1"
check "win32 exports the six directory classes" exports_classes i686-w64-mingw32-objdump "$w32"
check "win64 exports the six directory classes" exports_classes x86_64-w64-mingw32-objdump "$1"
e2e_done

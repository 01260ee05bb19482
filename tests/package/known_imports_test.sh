#!/usr/bin/env bash
# Fails unless every library a program imports at its start is one of the system's known
# libraries (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows 10 and 11),
# which Windows always loads from the system folder: a library of another name is looked for
# first in the program's own folder, where anyone who can write there could plant it.
#   known_imports_test.sh PROGRAM.exe
set -euo pipefail
program=$1
known=" advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
 imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll
 psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll user32.dll
 wldap32.dll ws2_32.dll "
known=$(echo "$known" | tr '\n' ' ')
objdump=$(command -v x86_64-w64-mingw32-objdump)
imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[[ -n $imports ]] || { echo "no imports read from $program" >&2; exit 1; }
status=0
for dll in $imports; do
    # The C runtime's API sets (api-ms-win-crt-*) are resolved by the loader, never searched for.
    if [[ $dll == api-ms-win-* || $known == *" $dll "* ]]; then
        echo "known: $dll"
    else
        echo "NOT A KNOWN LIBRARY: $dll (a copy planted beside $program would be loaded)" >&2
        status=1
    fi
done
exit $status

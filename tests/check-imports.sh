#!/usr/bin/env bash
# vantrel.exe must run on a bare Windows: it may import only DLLs that every
# Windows has. Usage: check-imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1
exe=$2
system_dlls='^(kernel32|user32|gdi32|comctl32|ole32|oleaut32|advapi32|shell32|msvcrt|uxtheme)\.dll$'
mapfile -t imports < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
if [ ${#imports[@]} -eq 0 ]; then
  echo "no imports read from $exe" >&2
  exit 1
fi
status=0
for dll in "${imports[@]}"; do
  if [[ "${dll,,}" =~ $system_dlls ]]; then
    echo "system: $dll"
  else
    echo "NOT A SYSTEM DLL: $dll" >&2
    status=1
  fi
done
echo "$(stat -c %s "$exe") bytes: $exe"
exit $status

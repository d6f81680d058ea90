#!/usr/bin/env bash
# Checks the Kovalimber.exe that ships: a 32-bit (PE32, i386) image that
# imports nothing but DLLs of Windows itself, so it runs on 32-bit and 64-bit
# Windows with nothing beside it.
#   check-shipped-exe.sh [EXE]    default: build-x86/bin/Kovalimber.exe
set -euo pipefail
exe=${1:-build-x86/bin/Kovalimber.exe}
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=x86_64-w64-mingw32-objdump

format=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
if [ "$format" != "pei-i386" ]; then
  echo "$exe: file format '$format', not pei-i386 (a 32-bit Windows program)" >&2
  exit 1
fi

# Windows' own DLLs, as the tool may import them: only KnownDLLs, which
# Windows always takes from the system folder. Any other (wtsapi32, userenv)
# is loaded at run time from the system folder, after the DLL search is
# limited; imported, it would be looked for beside the tool first.
allowed='^(kernel32|advapi32|user32|shell32|msvcrt)\.dll$'
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
foreign=$(grep -v -E "$allowed" <<<"$imports" || true)
if [ -n "$foreign" ]; then
  echo "$exe imports DLLs that are not Windows' own: $foreign" >&2
  exit 1
fi
echo "$exe: PE32 i386, imports $(tr '\n' ' ' <<<"$imports")"

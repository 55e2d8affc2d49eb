#!/usr/bin/env bash
# Checks the Windows DLL's tables with objdump -p:
# - the export table names exactly the seven functions, by name;
# - the import table names only DLLs that every Windows system has (no
#   DLL of the toolchain such as libgcc_s_seh-1.dll, libstdc++-6.dll or
#   libwinpthread-1.dll);
# - no printf-family formatter is imported: the texts are formatted by the
#   runtime code linked into the DLL, the same on every Windows version;
# - the entry point does nothing of the library's own: DllMain returns TRUE;
# - the import library lists the same seven names.
# usage: check_dll_tables.sh OBJDUMP DLL [IMPORT_LIBRARY]
set -euo pipefail
objdump=$1 dll=$2 implib=${3:-}
expected="ranvique_cleanup
ranvique_diff
ranvique_init
ranvique_last_error
ranvique_perceptual
ranvique_similarity
ranvique_stats"
system_dlls='^(kernel32|msvcrt|ntdll|user32|advapi32)\.dll$'
fail=0

[ "$(basename "$dll")" = quillmar-ranvique.dll ] || { echo "unexpected file name: $(basename "$dll")"; fail=1; }
dump=$("$objdump" -p "$dll")
grep -q 'Characteristics.*DLL' <<<"$dump" || grep -qE "^[[:space:]]+DLL$" <<<"$dump" || { echo "not a DLL"; fail=1; }
grep -qE "^Magic[[:space:]]+020b" <<<"$dump" || { echo "not a 64-bit (PE32+) image"; fail=1; }

# Exports: the lines of the "[Ordinal/Name Pointer] Table".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[[:space:]]*\[/ {print $NF; next} on {on=0}' <<<"$dump" | sort)
if [ "$exports" != "$expected" ]; then
  echo "export table differs from the seven functions:"
  diff <(echo "$expected") <(echo "$exports") || true
  fail=1
fi
count=$(awk '/Export Address Table/ && /0000/ {print; exit}' <<<"$dump" | awk '{print $NF}')
if [ -n "$count" ] && [ $((16#$count)) -ne 7 ]; then echo "export address table has $((16#$count)) entries"; fail=1; fi

# Imports.
dlls=$(awk '/DLL Name:/ {print $3}' <<<"$dump")
for d in $dlls; do
  if ! [[ ${d,,} =~ $system_dlls ]]; then
    echo "imports from a DLL that is not part of Windows: $d"; fail=1
  fi
done
formatters=$(awk '/DLL Name:/ {dll=$3} /^\t[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+$/ {print dll, $3}' <<<"$dump" \
             | grep -E ' _{0,2}v?s?n?w?printf(_s|_l)?$' | grep -vE ' v?fprintf$' || true)
if [ -n "$formatters" ]; then echo "imports string formatters from the system runtime: $formatters"; fail=1; fi

# The entry point: the runtime's DllMainCRTStartup, whose DllMain only
# returns TRUE (checked where the DLL still has its symbol table).
entry=$(awk '/^AddressOfEntryPoint/ {print $2}' <<<"$dump")
[ -n "$entry" ] && [ $((16#$entry)) -ne 0 ] || { echo "no entry point"; fail=1; }
symbols=$("${objdump/objdump/nm}" "$dll" 2>/dev/null || true)
if grep -q ' T DllMain$' <<<"$symbols"; then
  body=$("$objdump" --disassemble=DllMain --no-show-raw-insn "$dll" \
         | awk '/<DllMain>:/ {on=1; next} on {$1=""; sub(/^ +/, ""); gsub(/ +/, " "); print; if ($1 == "ret") on=0}')
  if [ "$body" != "$(printf 'mov $0x1,%%eax\nret')" ]; then
    echo "DllMain does more than return TRUE:"; echo "$body"; fail=1
  fi
fi

if [ -n "$implib" ]; then
  names=$( ("${objdump/objdump/nm}" "$implib" 2>/dev/null || true) | awk '$2 == "T" && $3 !~ /^__/ {print $3}' | sort -u)
  if [ "$names" != "$expected" ]; then
    echo "import library $implib names:"; echo "$names"; fail=1
  fi
fi

[ $fail -eq 0 ] || exit 1
echo "exports: $(echo $exports)"
echo "imports: $(echo $dlls)"

#!/usr/bin/env bash
# Checks the dynamic symbol table of libkeelwork:
#  1. every exported C symbol is declared in a public header, and every
#     exported C++ symbol belongs to a class declared in one;
#  2. no exported symbol is also defined by glibc, libm or the C++ runtime.
set -euo pipefail
lib=$1
incdir=$2
fail=0

exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sed 's/@.*//' | sort -u)
[ -n "$exported" ] || { echo "no exported symbols in $lib"; exit 1; }

headers=$(cat "$incdir"/*.h "$incdir"/*.hpp 2>/dev/null || true)
classes=$(printf '%s\n' "$headers" | grep -oE '^(class|struct) +(KW_API +)?[A-Za-z_][A-Za-z0-9_]*' \
          | awk '{print $NF}' | sort -u)

while IFS= read -r sym; do
  case "$sym" in
    _Z*)
      name=$(printf '%s' "$sym" | c++filt)
      # Strip "vtable for ", "typeinfo for " and the like, then take the
      # outermost class name.
      base=${name#* for }
      [ "$base" = "$name" ] && base=$name
      cls=${base%%::*}
      cls=${cls%%<*}
      # Here-strings, not pipes: grep -q stops reading early, and with
      # pipefail the writer's SIGPIPE would count as "not found".
      if ! grep -qx -- "$cls" <<< "$classes"; then
        echo "exported C++ symbol outside the public classes: $name"
        fail=1
      fi
      ;;
    *)
      if ! grep -qE "(^|[^A-Za-z0-9_])$sym *\\(|(^|[^A-Za-z0-9_])\\(\\*?$sym\\)|[ *]$sym(\\[[^]]*\\])? *;" <<< "$headers"; then
        echo "exported symbol not declared in a public header: $sym"
        fail=1
      fi
      ;;
  esac
done <<< "$exported"

system_syms=$(for f in /lib/x86_64-linux-gnu/libc.so.6 /lib/x86_64-linux-gnu/libm.so.6 \
                       /usr/lib/x86_64-linux-gnu/libstdc++.so.6 /lib/x86_64-linux-gnu/libgcc_s.so.1; do
                [ -e "$f" ] && nm -D --defined-only "$f" | awk '{print $3}' | sed 's/@.*//'
              done | sort -u)
clash=$(comm -12 <(printf '%s\n' "$exported") <(printf '%s\n' "$system_syms"))
if [ -n "$clash" ]; then
  echo "exported symbols that the system libraries also define:"
  printf '  %s\n' $clash
  fail=1
fi

count=$(printf '%s\n' "$exported" | wc -l)
if [ $fail -eq 0 ]; then
  echo "abi: $count exported symbols, all declared API, none shared with the system libraries"
fi
exit $fail

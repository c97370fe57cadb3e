#!/usr/bin/env bash
# The export table is the windows build's .def file as it stands: cross-link the test module
# with it and read the ordinals back from the PE export directory.
set -euo pipefail
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! command -v i686-w64-mingw32-g++ >/dev/null; then
  echo "i686-w64-mingw32-g++ missing (install g++-mingw-w64-i686)" >&2
  exit 1
fi
i686-w64-mingw32-g++ -shared -O1 -o "$work/testmod.dll" "$src/modules/testmod.cpp" \
  "$src/modules/testmod.def" -static-libgcc -static-libstdc++ -Wl,--kill-at 2>"$work/log" ||
  { cat "$work/log" >&2; exit 1; }
dump=$(i686-w64-mingw32-objdump -p "$work/testmod.dll")
base=$(sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\).*/\1/p' <<<"$dump")
got=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]*\)\][[:space:]]*\([A-Za-z_0-9]*\).*/\2 \1/p' |
  sort -u | while read -r name index; do echo "$name $((index + base))"; done)
expected="DllMain 1
TestAdd 7
TestAttachCount 3
TestDisableThreadCalls 5
TestThreadCounts 4"
while read -r name ordinal; do
  grep -qx "$name $ordinal" <<<"$got" || { echo "expected export $name @$ordinal, got:"; echo "$got"; exit 1; }
done <<<"$expected"
# Only the listed names: five numbered and one without an ordinal.
[ "$(wc -l <<<"$got")" -eq 6 ] || { echo "unexpected exports:"; echo "$got"; exit 1; }
grep -q '^TestHidden ' <<<"$got" && { echo "TestHidden is exported"; exit 1; }
echo "export table ok on the windows build"

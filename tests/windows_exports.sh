#!/bin/sh
# The Windows plug-ins export exactly their two functions, undecorated, the
# program and plug-ins share the C++ runtime DLL, and the program can use
# addresses past 2 GB (the whole 32-bit address space, in a 32-bit build).
#   tests/windows_exports.sh BIN_DIR OBJDUMP
set -eu
bin=$1
objdump=$2
status=0
exports() {
  "$objdump" -p "$1" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' '
}
for pair in Mirrowen:Smooth Quillet:Echo Tarrock:Amplify; do
  library=${pair%%:*}.dll
  filter=${pair#*:}
  got=$(exports "$bin/$library")
  want="Filter_$filter Parameters_$filter "
  if [ "$got" != "$want" ]; then
    echo "$library exports '$got', expected '$want'"
    status=1
  fi
done
for module in Pellory.exe Mirrowen.dll Quillet.dll Tarrock.dll; do
  if ! "$objdump" -p "$bin/$module" |
      grep -q 'DLL Name: libstdc++-6.dll'; then
    echo "$module does not use the shared C++ runtime"
    status=1
  fi
done
if ! "$objdump" -p "$bin/Pellory.exe" |
    grep -q 'large address aware'; then
  echo "Pellory.exe is not large-address-aware"
  status=1
fi
[ $status -eq 0 ] && echo "exports, runtime and address space: as expected"
exit $status

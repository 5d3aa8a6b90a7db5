#!/bin/sh
# Installs the build into a fresh prefix and runs the installed program
# there, with nothing else to tell it where its library is.
# Usage: install-runs.sh CMAKE BUILD_DIR
cmake=$1 build_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build_dir" --prefix "$prefix" >/dev/null || exit 1
for installed in bin/watchdog-console lib/libVururi-Red-Ivi.so; do
    [ -f "$prefix/$installed" ] || { echo "FAIL: $installed was not installed"; exit 1; }
done
readelf -d "$prefix/bin/watchdog-console" | grep -q 'Library runpath: \[\$ORIGIN/../lib\]' ||
    { echo "FAIL: the installed program's run path is not \$ORIGIN/../lib"; exit 1; }

output=$(env -i setsid -w "$prefix/bin/watchdog-console")
status=$?
first_line=$(printf '%s\n' "$output" | head -n 1)
if [ "$status" -ne 0 ] || [ "$first_line" != "DLL Version: 01.04.00" ]; then
    echo "FAIL: the installed program ended with $status and printed: $output"
    exit 1
fi
echo "ok: installed to a fresh prefix, it runs with the stand-in library"

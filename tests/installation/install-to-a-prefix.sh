#!/bin/sh
# The build tree, and the build installed to a fresh prefix whose path holds
# a space, each checked as a user gets it.
# Usage: install-to-a-prefix.sh CMAKE BUILD_DIR FAKE_BOARD_DIR
cmake=$1 build_dir=$2 fake_board_dir=$3
check=$(dirname "$0")/check-installed-tree.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/a prefix"

echo "== the build tree"
sh "$check" "$build_dir" "$fake_board_dir" || exit 1
echo "== installed to $prefix"
"$cmake" --install "$build_dir" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log"; exit 1; }
for file in share/man/man1/watchdog-console.1.gz share/man/man1/watchdog-console-simulated.1.gz \
    share/doc/watchdog-console/copyright share/doc/watchdog-console/changelog.gz; do
    [ -f "$prefix/$file" ] || { echo "FAIL: $file was not installed"; exit 1; }
done
sh "$check" "$prefix" "$fake_board_dir"

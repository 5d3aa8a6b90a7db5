#!/bin/sh
# Builds the two Debian packages from the build tree, as `cpack -G DEB` in the
# build folder does, then checks them: their fields and contents, no
# maintainer scripts, stripped binaries, lintian with no error or warning,
# and the program and launcher unpacked, as a user gets them.
# Usage: debian-packages.sh BUILD_DIR FAKE_BOARD_DIR VERSION
build_dir=$1 fake_board_dir=$2 version=$3
. "$(dirname "$0")/../skip-or-fail.sh"
for tool in dpkg-deb dpkg-shlibdeps; do
    command -v $tool >/dev/null || skip_test "$tool is not installed (package dpkg-dev)"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
architecture=$(dpkg --print-architecture)
program=$work/packages/watchdog-console_${version}_$architecture.deb
simulation=$work/packages/watchdog-console-simulated-board_${version}_$architecture.deb
for package in "$program" "$simulation"; do
    [ -f "$package" ] || { echo "FAIL: ${package##*/} was not made"; ls "$work/packages"; exit 1; }
done

field() { dpkg-deb -f "$1" "$2"; }
case "$(field "$simulation" Depends)" in
    *"watchdog-console (= $version)"*) ;;
    *) fail "the simulated board does not depend on the same version of the program" ;;
esac
case "$(field "$program" Suggests)" in
    *watchdog-console-simulated-board*) ;;
    *) fail "the program does not suggest the simulated board" ;;
esac

dpkg-deb -c "$program" | grep -q 'libVururi-Red-Ivi' && fail "the program's package holds a board library"
dpkg-deb -c "$simulation" | grep 'libVururi-Red-Ivi' |
    grep -qv ' \./usr/lib/watchdog-console/simulated-board/libVururi-Red-Ivi\.so$' &&
    fail "the stand-in is outside its private folder"
for package in "$program" "$simulation"; do
    scripts=$(dpkg-deb --ctrl-tarfile "$package" | tar -t | grep -E 'inst$|rm$|triggers$')
    [ -z "$scripts" ] || fail "${package##*/} has maintainer scripts or triggers: $scripts"
    dpkg-deb -x "$package" "$work/root"
done
for file in usr/bin/watchdog-console usr/lib/watchdog-console/simulated-board/libVururi-Red-Ivi.so; do
    readelf -S "$work/root/$file" | grep -Eq '\.symtab|\.debug_' && fail "$file is not stripped"
done
[ $failed = 0 ] && echo "ok: fields, contents, no maintainer scripts, stripped binaries"

echo "== unpacked"
sh "$(dirname "$0")/check-installed-tree.sh" "$work/root/usr" "$fake_board_dir" || failed=1

command -v lintian >/dev/null || { [ $failed = 0 ] || exit 1; skip_test "lintian is not installed"; }
lintian "$program" "$simulation" >"$work/lintian.log" 2>/dev/null
if grep -q '^[EW]: ' "$work/lintian.log"; then
    fail "lintian:"
    cat "$work/lintian.log"
else
    echo "ok: lintian finds no error and no warning"
    cat "$work/lintian.log"
fi
exit $failed

#!/bin/sh
# Checks the program as a user gets it, in an installed tree: a prefix of
# `cmake --install`, the unpacked Debian packages' usr/, or the build tree.
#   - The stand-in library is only in its private folder.
#   - The program has no run path; no binary has one with an empty entry,
#     which the loader would read as the current folder.
#   - With a double of the real library where the loader looks, the program
#     uses the double, never the stand-in; with no library it does not start.
#   - The launcher runs the stand-in, also beside a real library, through a
#     symbolic link and found through PATH, and the stand-in says so.
# Usage: check-installed-tree.sh ROOT FAKE_BOARD_DIR
root=$1 fake_board_dir=$2
stand_in=lib/watchdog-console/simulated-board/libVururi-Red-Ivi.so
stand_in_line='Vururi-Red-Ivi stand-in: simulated board, no hardware is being tested'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# run NAME=VALUE... COMMAND...: with no terminal and a minimal environment;
# sets status, and leaves the output in $work/out and $work/err.
run() {
    env -i PATH=/usr/bin:/bin LC_ALL=C "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
}
first_line() { head -n 1 "$work/out"; }
describe() { echo "  status $status, output: $(first_line), errors: $(cat "$work/err")"; }

for file in bin/watchdog-console bin/watchdog-console-simulated "$stand_in"; do
    [ -f "$root/$file" ] || fail "$file is missing"
done
[ -x "$root/bin/watchdog-console-simulated" ] || fail "the launcher is not executable"
found=$(cd "$root" && find bin lib -name 'libVururi-Red-Ivi.so*' | sort | tr '\n' ' ')
[ "$found" = "$stand_in " ] || fail "board libraries other than the private stand-in: $found"

readelf -d "$root/bin/watchdog-console" | grep -Eq '\((RUNPATH|RPATH)\)' &&
    fail "the program has a run path: $(readelf -d "$root/bin/watchdog-console" | grep PATH)"
for file in $(cd "$root" && find bin lib -type f); do
    [ "$(head -c 4 "$root/$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    run_path=$(readelf -d "$root/$file" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]$/\1/p')
    case ":$run_path:" in
        ::) ;;
        *::*) fail "$file has a run path with an empty entry: $run_path" ;;
    esac
done
[ $failed = 0 ] && echo "ok: layout and run paths"

# With no board library at all: the loader's error, no report. A library
# installed on this machine would be the real one, which must not be run.
if ldconfig -p 2>/dev/null | grep -q 'libVururi-Red-Ivi\.so'; then
    echo "note: a board library is installed on this machine; the run without one is left out"
else
    # Also from inside the stand-in's folder, where an empty run path entry would look.
    run setsid -w sh -c 'cd "$1" && exec "$2"' sh "$root/${stand_in%/*}" "$root/bin/watchdog-console"
    if [ $status -ne 127 ] || [ -s "$work/out" ] || ! grep -q 'libVururi-Red-Ivi\.so' "$work/err"; then
        fail "with no board library the program did not end with the loader's error"; describe
    else
        echo "ok: with no board library the loader names it and nothing is reported"
    fi
fi

run LD_LIBRARY_PATH="$fake_board_dir" setsid -w "$root/bin/watchdog-console"
if [ $status -ne 0 ] || [ "$(first_line)" != "DLL Version: 01.02.03" ] || [ -s "$work/err" ]; then
    fail "the program did not use the library the loader found"; describe
else
    echo "ok: the program uses the library the loader finds"
fi

mkdir "$work/elsewhere"
ln -s "$root/bin/watchdog-console-simulated" "$work/elsewhere/simulate"
for way in "direct" "beside a real library" "through a link" "through PATH"; do
    case $way in
        direct) run setsid -w "$root/bin/watchdog-console-simulated" ;;
        beside*) run LD_LIBRARY_PATH="$fake_board_dir" setsid -w "$root/bin/watchdog-console-simulated" ;;
        *link) run setsid -w "$work/elsewhere/simulate" ;;
        *PATH) env -i PATH="$root/bin:/usr/bin:/bin" LC_ALL=C setsid -w watchdog-console-simulated \
                   </dev/null >"$work/out" 2>"$work/err"
               status=$? ;;
    esac
    if [ $status -ne 0 ] || [ "$(first_line)" != "DLL Version: 01.04.00" ] ||
        [ "$(cat "$work/err")" != "$stand_in_line" ]; then
        fail "the launcher, $way, did not run the announced stand-in"; describe
    else
        echo "ok: the launcher runs the stand-in, $way"
    fi
done
run WD_SIMULATE=open-fails setsid -w "$root/bin/watchdog-console-simulated"
[ $status -eq 1 ] || { fail "WD_SIMULATE=open-fails did not reach the stand-in"; describe; }
exit $failed

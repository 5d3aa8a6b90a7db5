#!/bin/sh
# Runs the program under valgrind memcheck against the recording test double,
# once for a good run and once for each failure path. Any memcheck error, or
# an exit status other than the one the run should end with, fails.
# Usage: valgrind-runs.sh VALGRIND PROGRAM FAKE_BOARD_DIR
valgrind=$1 program=$2 fake_board_dir=$3
failed=0

check() {
    expected=$1
    shift
    # setsid: no controlling terminal, so the final wait ends at once.
    env -i LD_LIBRARY_PATH="$fake_board_dir" "$@" setsid -w "$valgrind" -q --error-exitcode=99 \
        --leak-check=full --errors-for-leak-kinds=definite "$program" >/dev/null 2>valgrind.err
    status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "FAIL ($status, expected $expected): $*"
        cat valgrind.err
        failed=1
    else
        echo "ok: ${*:-good run}"
    fi
}

check 0
check 0 FAKE_VERSION=unset
check 1 FAKE_OPEN=-5
check 0 FAKE_DISCOVER_ALL=-1
check 0 FAKE_DISCOVER=-4
check 0 FAKE_DISCOVER=-4 FAKE_ERROR_TEXT=unterminated
check 0 FAKE_DEVICE_INFO=-6
check 0 FAKE_DISCOVER_ALL=-1 FAKE_DISCOVER=-4
rm -f valgrind.err
exit $failed

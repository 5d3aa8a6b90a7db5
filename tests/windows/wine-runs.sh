#!/usr/bin/env bash
# Runs the 64-bit Windows build from its ZIP under wine, with no console:
#   - the top-level program alone does not start and reports nothing;
#   - with a test double of the real DLL beside it, the exact output (with
#     Windows line ends) and exit status of a good run and each failure path;
#   - the program in simulated-board\ runs the announced stand-in;
#   - the tests of the keyboard's pure parts, built for Windows.
# Usage: wine-runs.sh BUILD_DIR VERSION
set -u
build_dir=$1 version=$2
. "$(dirname "$0")/../skip-or-fail.sh"
command -v wine >/dev/null || skip_test "wine is not installed (packages wine and wine64)"

run_dir=$(mktemp -d)
trap 'rm -rf "$run_dir"; wineserver -k 2>/dev/null' EXIT
unzip -q "$build_dir/watchdog-console-$version-win64.zip" -d "$run_dir" || exit 1
export WINEPREFIX=$build_dir/wine-prefix WINEDEBUG=-all
failed=0

# run PROGRAM [NAME=VALUE...]: sets status, output and errors.
run() {
    local program=$1
    shift
    # setsid and /dev/null: no terminal, so there is no console and the wait ends at once.
    env "$@" setsid -w wine "$program" </dev/null >"$run_dir/output" 2>"$run_dir/errors"
    status=$?
    output=$(cat "$run_dir/output"; printf x)
    output=${output%x}
}

# check NAME PROGRAM STATUS EXPECTED_OUTPUT [NAME=VALUE...]
check() {
    local name=$1 program=$2 expected_status=$3 expected_output=$4
    shift 4
    run "$program" "$@"
    if [ "$status" != "$expected_status" ] || [ "$output" != "$expected_output" ]; then
        echo "FAIL: $name: status $status (expected $expected_status), output:"
        printf '%s' "$output" | od -c | head -n 20
        failed=1
    else
        echo "ok: $name"
    fi
}

run "$run_dir/watchdog-console.exe"
if [ "$status" = 0 ] || [ -n "$output" ]; then
    echo "FAIL: with no board DLL the program started: status $status, output: $output"
    failed=1
else
    echo "ok: with no board DLL the program does not start (status $status)"
fi

# The test double where a user puts the real DLL.
cp "$build_dir/tests/fake-board/Vururi-Red-Ivi.dll" "$run_dir/"
program=$run_dir/watchdog-console.exe
report=$'\t-- STATUS  -- Board Status Bits = 0x0003\r\n\t-- VERSION -- Firmware Version: 02.07\r\n\t-- DIP SW  -- Current Dip Switch = 0x05\r\n\t-- TICKLE  -- Tickle count = 1207\r\n\t-- DIAG    -- Board Diagnostice Bits = 0x0000\r\n'
version=$'DLL Version: 01.02.03\r\n'
found=$'Discover All Success.\r\nDiscover IP Parameters Success.\r\n'
banner=$'**** ERROR **** Discover did not find a WDog!\r\n'
prompt=$'\r\n\r\nPress Any Key to Exit'

check "good run" "$program" 0 "$version$found$report$prompt"
check "open fails" "$program" 1 $'DLL Version: 01.02.03\r\n** ERROR ** Open error = -5\r\n' FAKE_OPEN=-5
check "discover-all fails" "$program" 0 $'DLL Version: 01.02.03\r\nDiscover IP Parameters Success.\r\n'"$report$prompt" \
    FAKE_DISCOVER_ALL=-1
check "directed discover fails" "$program" 0 $'DLL Version: 01.02.03\r\nDiscover All Success.\r\n'"$banner"$'no answer\r\n'"$prompt" \
    FAKE_DISCOVER=-4 "FAKE_ERROR_TEXT=no answer"
check "unterminated error text" "$program" 0 \
    $'DLL Version: 01.02.03\r\nDiscover All Success.\r\n'"$banner$(printf 'T%.0s' $(seq 192))"$'\r\n'"$prompt" \
    FAKE_DISCOVER=-4 FAKE_ERROR_TEXT=unterminated
check "status read fails" "$program" 0 "$version$found$prompt" FAKE_DEVICE_INFO=-6
check "wide version and report values" "$program" 0 \
    $'DLL Version: 102.02.03\r\n'"$found"$'\t-- STATUS  -- Board Status Bits = 0x12345\r\n\t-- VERSION -- Firmware Version: 123.45\r\n\t-- DIP SW  -- Current Dip Switch = 0x05\r\n\t-- TICKLE  -- Tickle count = -1\r\n\t-- DIAG    -- Board Diagnostice Bits = 0x0000\r\n'"$prompt" \
    FAKE_VERSION=0x01020203 FAKE_STATUS=0x12345 FAKE_FIRMWARE=0x12345 FAKE_TICKLE=0xFFFFFFFF

# After a failed open the library saw no call but the version and the open.
log=$run_dir/calls.log
run "$program" FAKE_OPEN=-5 FAKE_BOARD_LOG="$(wine winepath -w "$log" 2>/dev/null | tr -d '\r')"
calls=$(tr -d '\r' <"$log" | cut -d' ' -f1 | tr '\n' ' ')
if [ "$calls" != "WD_E_GetDllVersion WD_E_Open " ]; then
    echo "FAIL: after a failed open the library saw: $calls"
    failed=1
else
    echo "ok: a failed open makes no further call"
fi

stand_in_line=$'Vururi-Red-Ivi stand-in: simulated board, no hardware is being tested\r'
simulated=$run_dir/simulated-board/watchdog-console.exe
check "simulated board, no board" "$simulated" 0 \
    $'DLL Version: 01.04.00\r\n'"$banner"$'No watchdog board answered at 192.168.1.60 (simulated)\r\n'"$prompt" \
    WD_SIMULATE=no-board
if [ "$(cat "$run_dir/errors")" != "$stand_in_line" ]; then
    echo "FAIL: the simulated board did not say so on standard error: $(cat "$run_dir/errors")"
    failed=1
else
    echo "ok: the simulated board says so on standard error"
fi

for suite in key-decoder-posix-test console-events-windows-test; do
    if ! setsid -w wine "$build_dir/tests/$suite.exe" --gtest_brief=1 </dev/null >"$run_dir/output" 2>&1; then
        echo "FAIL: $suite under wine:"
        tr -d '\r' <"$run_dir/output" | tail -n 30
        failed=1
    else
        echo "ok: $suite passes under wine: $(tr -d '\r' <"$run_dir/output" | tail -n 1)"
    fi
done
exit $failed

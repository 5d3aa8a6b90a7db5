#!/usr/bin/env bash
# Cross-builds the program and the test double for 64-bit Windows, then runs
# the program under wine, with no console, against the test double for a
# good run and each failure path, and against the stand-in DLL: the exact
# output (with Windows line ends) and the exit status of each.
# Usage: wine-runs.sh SOURCE_DIR BUILD_DIR
# Exits 77, which CTest shows as skipped, when the cross compiler or wine is missing.
set -u
source_dir=$1 build_dir=$2
for tool in x86_64-w64-mingw32-g++-posix wine; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed, so the Windows build was not tested;"
        echo "install g++-mingw-w64-x86-64-posix and wine (.ci/run does) to run these tests."
        exit 77
    fi
done

cmake -S "$source_dir" -B "$build_dir" --toolchain "$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build_dir" -j2 >/dev/null || { cmake --build "$build_dir"; exit 1; }

# The program beside the test double, as a user would drop in a real DLL.
run_dir=$(mktemp -d)
trap 'rm -rf "$run_dir"' EXIT
cp "$build_dir/bin/watchdog-console.exe" "$build_dir/tests/fake-board/Vururi-Red-Ivi.dll" "$run_dir"
export WINEPREFIX=$build_dir/wine-prefix WINEDEBUG=-all
failed=0

# check NAME PROGRAM_DIR STATUS EXPECTED_OUTPUT [NAME=VALUE...]
check() {
    local name=$1 program_dir=$2 expected_status=$3 expected_output=$4
    shift 4
    local output status
    # setsid and /dev/null: no terminal, so there is no console and the wait ends at once.
    env "$@" setsid -w wine "$program_dir/watchdog-console.exe" </dev/null >"$run_dir/output" 2>/dev/null
    status=$?
    output=$(cat "$run_dir/output"; printf x)
    output=${output%x}
    if [ "$status" != "$expected_status" ] || [ "$output" != "$expected_output" ]; then
        echo "FAIL: $name: status $status (expected $expected_status), output:"
        printf '%s' "$output" | od -c | head -n 20
        failed=1
    else
        echo "ok: $name"
    fi
}

report=$'\t-- STATUS  -- Board Status Bits = 0x0003\r\n\t-- VERSION -- Firmware Version: 02.07\r\n\t-- DIP SW  -- Current Dip Switch = 0x05\r\n\t-- TICKLE  -- Tickle count = 1207\r\n\t-- DIAG    -- Board Diagnostice Bits = 0x0000\r\n'
version=$'DLL Version: 01.02.03\r\n'
found=$'Discover All Success.\r\nDiscover IP Parameters Success.\r\n'
banner=$'**** ERROR **** Discover did not find a WDog!\r\n'
prompt=$'\r\n\r\nPress Any Key to Exit'

check "good run" "$run_dir" 0 "$version$found$report$prompt"
check "open fails" "$run_dir" 1 $'DLL Version: 01.02.03\r\n** ERROR ** Open error = -5\r\n' FAKE_OPEN=-5
check "discover-all fails" "$run_dir" 0 $'DLL Version: 01.02.03\r\nDiscover IP Parameters Success.\r\n'"$report$prompt" \
    FAKE_DISCOVER_ALL=-1
check "directed discover fails" "$run_dir" 0 $'DLL Version: 01.02.03\r\nDiscover All Success.\r\n'"$banner"$'no answer\r\n'"$prompt" \
    FAKE_DISCOVER=-4 "FAKE_ERROR_TEXT=no answer"
check "unterminated error text" "$run_dir" 0 \
    $'DLL Version: 01.02.03\r\nDiscover All Success.\r\n'"$banner$(printf 'T%.0s' $(seq 192))"$'\r\n'"$prompt" \
    FAKE_DISCOVER=-4 FAKE_ERROR_TEXT=unterminated
check "status read fails" "$run_dir" 0 "$version$found$prompt" FAKE_DEVICE_INFO=-6
check "wide version and report values" "$run_dir" 0 \
    $'DLL Version: 102.02.03\r\n'"$found"$'\t-- STATUS  -- Board Status Bits = 0x12345\r\n\t-- VERSION -- Firmware Version: 123.45\r\n\t-- DIP SW  -- Current Dip Switch = 0x05\r\n\t-- TICKLE  -- Tickle count = -1\r\n\t-- DIAG    -- Board Diagnostice Bits = 0x0000\r\n'"$prompt" \
    FAKE_VERSION=0x01020203 FAKE_STATUS=0x12345 FAKE_FIRMWARE=0x12345 FAKE_TICKLE=0xFFFFFFFF
check "stand-in, no board" "$build_dir/bin" 0 \
    $'DLL Version: 01.04.00\r\n'"$banner"$'No watchdog board answered at 192.168.1.60 (simulated)\r\n'"$prompt" \
    WD_SIMULATE=no-board

# After a failed open the library saw no call but the version and the open.
log=$run_dir/calls.log
env FAKE_OPEN=-5 FAKE_BOARD_LOG="$(wine winepath -w "$log" 2>/dev/null | tr -d '\r')" \
    setsid -w wine "$run_dir/watchdog-console.exe" </dev/null >/dev/null 2>&1
calls=$(tr -d '\r' <"$log" | cut -d' ' -f1 | tr '\n' ' ')
if [ "$calls" != "WD_E_GetDllVersion WD_E_Open " ]; then
    echo "FAIL: after a failed open the library saw: $calls"
    failed=1
else
    echo "ok: a failed open makes no further call"
fi
# The wine server would otherwise linger, holding the test's output open.
wineserver -k 2>/dev/null
exit $failed

#!/usr/bin/env bash
# Cross-builds the program for Windows and packages it, as a developer does
# with `cmake --build --preset windows --target package`: the builds that the
# other Windows tests check.
# Usage: cross-build.sh SOURCE_DIR BUILD_DIR TARGET_TRIPLE CMAKE_ARGUMENTS...
source_dir=$1 build_dir=$2 target_triple=$3
shift 3
. "$(dirname "$0")/../skip-or-fail.sh"
command -v "$target_triple-g++-posix" >/dev/null ||
    skip_test "$target_triple-g++-posix is not installed (package g++-mingw-w64-${target_triple%%-*}-posix)"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
for step in "cmake -S $source_dir -B $build_dir -DCMAKE_BUILD_TYPE=RelWithDebInfo $*" \
    "cmake --build $build_dir -j2" "cmake --build $build_dir --target package"; do
    echo "$step"
    # Word splitting is meant: the steps hold no quoted arguments.
    # shellcheck disable=SC2086
    if ! $step >"$log" 2>&1; then
        tail -n 40 "$log"
        exit 1
    fi
done

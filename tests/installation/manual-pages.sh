#!/bin/sh
# Renders each manual page as man shows it; any warning fails.
# Usage: manual-pages.sh FOLDER_OF_PAGES
. "$(dirname "$0")/../skip-or-fail.sh"
command -v man >/dev/null || skip_test "man is not installed (package man-db)"
failed=0
for page in "$1"/*.1; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "FAIL: ${page##*/}: $warnings"
        failed=1
    else
        echo "ok: ${page##*/} renders without a warning"
    fi
done
exit $failed

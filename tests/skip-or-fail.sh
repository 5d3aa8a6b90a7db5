# Sourced by the test scripts. skip_test tells why a test cannot run here and
# ends it as skipped (77), or as failed where WATCHDOG_REQUIRE_EVERY_TEST is
# set, as .ci/run sets it: there every tool must be present.
skip_test() {
    if [ -n "${WATCHDOG_REQUIRE_EVERY_TEST:-}" ]; then
        echo "FAIL: $*"
        exit 1
    fi
    echo "SKIPPED: $*"
    exit 77
}

// Whole-program runs against the recording test double of the board
// library: what the program prints, how it ends, and what the library saw.

#include <cstdio>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run-program.h"

using ::testing::ElementsAre;

namespace {

const std::string good_report = "\t-- STATUS  -- Board Status Bits = 0x0003\n"
                                "\t-- VERSION -- Firmware Version: 02.07\n"
                                "\t-- DIP SW  -- Current Dip Switch = 0x05\n"
                                "\t-- TICKLE  -- Tickle count = 1207\n"
                                "\t-- DIAG    -- Board Diagnostice Bits = 0x0000\n";
const std::string version_line = "DLL Version: 01.02.03\n";
const std::string prompt = "\n\nPress Any Key to Exit";
const std::string banner = "**** ERROR **** Discover did not find a WDog!\n";

class FakeBoardRun : public ::testing::Test {
protected:
    void TearDown() override { remove(log_path.c_str()); }

    run_result run(std::vector<std::string> script, const std::string &output_path = "")
    {
        script.push_back("FAKE_BOARD_LOG=" + log_path);
        return run_program({FAKE_BOARD_DIR, script, output_path, ""});
    }

    // The library's calls in order, by name alone.
    std::vector<std::string> calls() const
    {
        std::vector<std::string> names;
        for (const auto &line : read_lines(log_path))
            names.push_back(line.substr(0, line.find(' ')));
        return names;
    }

    // The one call of that name, with its recorded arguments.
    std::string call(const std::string &name) const
    {
        std::string found;
        for (const auto &line : read_lines(log_path))
            if (line.substr(0, line.find(' ')) == name) {
                EXPECT_EQ(found, "") << name << " was called twice";
                found = line;
            }
        return found;
    }

    const std::string log_path = temporary_path("fake-board-log");
};

TEST_F(FakeBoardRun, CompleteRunPrintsEveryLineInOrderAndExitsZero)
{
    const run_result result = run({});
    EXPECT_EQ(result.output, version_line + "Discover All Success.\n" +
                                 "Discover IP Parameters Success.\n" + good_report + prompt);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.errors, "");
    EXPECT_THAT(calls(), ElementsAre("WD_E_GetDllVersion", "WD_E_Open", "WD_E_DiscoverAll",
                                     "WD_E_Discover", "WD_E_GetDeviceInfo", "WD_E_Close"));
}

TEST_F(FakeBoardRun, WithoutAControllingTerminalTheWaitEndsAtOnce)
{
    const run_result result = run({"FAKE_DELAY_MS=0"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_LT(result.seconds, 2.0);
}

struct version_case {
    const char *version;
    const char *line;
};

void PrintTo(const version_case &c, std::ostream *out) { *out << c.version; }

class VersionLine : public FakeBoardRun, public ::testing::WithParamInterface<version_case> {};

TEST_P(VersionLine, PrintsTheThreeFields)
{
    const run_result result = run({std::string("FAKE_VERSION=") + GetParam().version});
    EXPECT_EQ(result.output.substr(0, result.output.find('\n') + 1), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, VersionLine,
    ::testing::Values(version_case{"0x010203", "DLL Version: 01.02.03\n"},
                      // The first field takes all of bits 16 to 31, uncut.
                      version_case{"0x01020203", "DLL Version: 102.02.03\n"},
                      version_case{"0xFFFFFFFF", "DLL Version: FFFF.FF.FF\n"},
                      version_case{"0x000A0B0C", "DLL Version: 0A.0B.0C\n"},
                      version_case{"0", "DLL Version: 00.00.00\n"},
                      // A library that writes no version shows zeros, not stack garbage.
                      version_case{"unset", "DLL Version: 00.00.00\n"}));

class FailedOpen : public FakeBoardRun, public ::testing::WithParamInterface<const char *> {};

TEST_P(FailedOpen, PrintsTheCodeAndEndsWithStatusOneAfterNoOtherCall)
{
    const run_result result = run({std::string("FAKE_OPEN=") + GetParam()});
    EXPECT_EQ(result.output, version_line + "** ERROR ** Open error = " + GetParam() + "\n");
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_THAT(calls(), ElementsAre("WD_E_GetDllVersion", "WD_E_Open"));
    EXPECT_EQ(call("WD_E_Open"), "WD_E_Open reserved=0");
}

INSTANTIATE_TEST_SUITE_P(Codes, FailedOpen, ::testing::Values("-5", "1", "-2147483648"));

TEST_F(FakeBoardRun, AnUnwritableStandardOutputEndsWithStatusTwo)
{
    for (const char *open_status : {"0", "-5"}) {
        const run_result result = run({std::string("FAKE_OPEN=") + open_status}, "/dev/full");
        EXPECT_EQ(result.exit_status, 2) << "open status " << open_status;
        EXPECT_EQ(result.errors,
                  "watchdog-console: cannot write standard output: No space left on device\n");
    }
}

struct failure_case {
    const char *name;
    std::vector<std::string> script;
    std::string lines; // between the version line and the prompt
    std::vector<std::string> calls;
};

void PrintTo(const failure_case &c, std::ostream *out) { *out << c.name; }

class CheckFailures : public FakeBoardRun, public ::testing::WithParamInterface<failure_case> {};

TEST_P(CheckFailures, PrintExactlyTheirLinesAndTheRunGoesOnToTheClose)
{
    const run_result result = run(GetParam().script);
    EXPECT_EQ(result.output, version_line + GetParam().lines + prompt);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(calls(), GetParam().calls);
}

const std::vector<std::string> calls_with_report = {"WD_E_GetDllVersion", "WD_E_Open",
                                                    "WD_E_DiscoverAll",   "WD_E_Discover",
                                                    "WD_E_GetDeviceInfo", "WD_E_Close"};
const std::vector<std::string> calls_with_error_text = {"WD_E_GetDllVersion",   "WD_E_Open",
                                                        "WD_E_DiscoverAll",     "WD_E_Discover",
                                                        "WD_E_GetErrorInfoMsg", "WD_E_Close"};

INSTANTIATE_TEST_SUITE_P(
    Combinations, CheckFailures,
    ::testing::Values(
        failure_case{"DiscoverAllFails",
                     {"FAKE_DISCOVER_ALL=-1"},
                     "Discover IP Parameters Success.\n" + good_report,
                     calls_with_report},
        failure_case{"DiscoverFails",
                     {"FAKE_DISCOVER=-4", "FAKE_ERROR_TEXT=no answer from 192.168.1.60"},
                     "Discover All Success.\n" + banner + "no answer from 192.168.1.60\n",
                     calls_with_error_text},
        failure_case{"BothDiscoveriesFail",
                     {"FAKE_DISCOVER_ALL=-1", "FAKE_DISCOVER=-4", "FAKE_DEVICE_INFO=-6"},
                     banner + "fake board: no answer\n",
                     calls_with_error_text},
        failure_case{"StatusReadFails",
                     {"FAKE_DEVICE_INFO=-6"},
                     "Discover All Success.\nDiscover IP Parameters Success.\n",
                     calls_with_report},
        failure_case{"DiscoverAllAndStatusReadFail",
                     {"FAKE_DISCOVER_ALL=3", "FAKE_DEVICE_INFO=1"},
                     "Discover IP Parameters Success.\n",
                     calls_with_report},
        failure_case{"EmptyErrorText",
                     {"FAKE_DISCOVER=-4", "FAKE_ERROR_TEXT="},
                     "Discover All Success.\n" + banner + "\n",
                     calls_with_error_text},
        // The library's text is data: conversions in it are printed, not run.
        failure_case{"ErrorTextWithConversions",
                     {"FAKE_DISCOVER=-4", "FAKE_ERROR_TEXT=100% lost %s%n%d"},
                     "Discover All Success.\n" + banner + "100% lost %s%n%d\n",
                     calls_with_error_text}),
    [](const auto &info) { return info.param.name; });

TEST_F(FakeBoardRun, AnUnterminatedErrorTextPrintsNoFurtherThanItsBuffer)
{
    const run_result result = run({"FAKE_DISCOVER=-4", "FAKE_ERROR_TEXT=unterminated"});
    EXPECT_EQ(result.output, version_line + "Discover All Success.\n" + banner +
                                 std::string(192, 'T') + "\n" + prompt);
    EXPECT_EQ(result.exit_status, 0);
}

TEST_F(FakeBoardRun, TheErrorBuffersAreTheProgramsOwnAndZeroBeforeTheLibraryFillsThem)
{
    run({"FAKE_DISCOVER=-4"});
    EXPECT_EQ(call("WD_E_GetErrorInfoMsg"),
              "WD_E_GetErrorInfoMsg text_zero=1 detail_zero=1 distinct=1 on_stack=0");
}

TEST_F(FakeBoardRun, TheLibraryReceivesZeroedRecordsTheBoardAddressAndTheOpenedHandle)
{
    for (const char *handle : {"0xC0FFEE42", "0", "0xFFFFFFFF"}) {
        remove(log_path.c_str());
        run({std::string("FAKE_HANDLE=") + handle});
        char hex_handle[16];
        snprintf(hex_handle, sizeof hex_handle, "%08X",
                 static_cast<unsigned>(std::stoul(handle, nullptr, 0)));
        const std::string expected_handle = std::string("handle=") + hex_handle;
        EXPECT_EQ(call("WD_E_DiscoverAll"), "WD_E_DiscoverAll " + expected_handle +
                                                " capacity=6 table=" + std::string(120, '0'));
        EXPECT_EQ(call("WD_E_Discover"), "WD_E_Discover " + expected_handle +
                                             " ip=C0A8013C mac=000000000000 mac_follows_ip=1");
        EXPECT_EQ(call("WD_E_GetDeviceInfo"),
                  "WD_E_GetDeviceInfo " + expected_handle + " values=0,0,0,0,0");
        EXPECT_EQ(call("WD_E_Close"), "WD_E_Close " + expected_handle);
    }
}

struct report_case {
    const char *name;
    std::vector<std::string> values;
    std::string report;
};

void PrintTo(const report_case &c, std::ostream *out) { *out << c.name; }

class Report : public FakeBoardRun, public ::testing::WithParamInterface<report_case> {};

TEST_P(Report, PrintsItsFiveLinesInLineOrder)
{
    const run_result result = run(GetParam().values);
    const std::string before =
        version_line + "Discover All Success.\nDiscover IP Parameters Success.\n";
    EXPECT_EQ(result.output, before + GetParam().report + prompt);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Report,
    ::testing::Values(report_case{"TypicalBoard", {}, good_report},
                      report_case{"AllZero",
                                  {"FAKE_STATUS=0", "FAKE_DIP=0", "FAKE_FIRMWARE=0",
                                   "FAKE_TICKLE=0", "FAKE_DIAG=0"},
                                  "\t-- STATUS  -- Board Status Bits = 0x0000\n"
                                  "\t-- VERSION -- Firmware Version: 00.00\n"
                                  "\t-- DIP SW  -- Current Dip Switch = 0x00\n"
                                  "\t-- TICKLE  -- Tickle count = 0\n"
                                  "\t-- DIAG    -- Board Diagnostice Bits = 0x0000\n"},
                      // Widths are minimums: wide values print every digit, upper case.
                      report_case{"WideValues",
                                  {"FAKE_STATUS=0x12345", "FAKE_DIP=0x1ff", "FAKE_FIRMWARE=0x12345",
                                   "FAKE_TICKLE=0xFFFFFFFF", "FAKE_DIAG=0xabcdef01"},
                                  "\t-- STATUS  -- Board Status Bits = 0x12345\n"
                                  "\t-- VERSION -- Firmware Version: 123.45\n"
                                  "\t-- DIP SW  -- Current Dip Switch = 0x1FF\n"
                                  "\t-- TICKLE  -- Tickle count = -1\n"
                                  "\t-- DIAG    -- Board Diagnostice Bits = 0xABCDEF01\n"},
                      report_case{"SmallValuesGetLeadingZeros",
                                  {"FAKE_STATUS=0xa", "FAKE_DIP=5", "FAKE_FIRMWARE=0x105",
                                   "FAKE_TICKLE=0x7FFFFFFF", "FAKE_DIAG=0x80"},
                                  "\t-- STATUS  -- Board Status Bits = 0x000A\n"
                                  "\t-- VERSION -- Firmware Version: 01.05\n"
                                  "\t-- DIP SW  -- Current Dip Switch = 0x05\n"
                                  "\t-- TICKLE  -- Tickle count = 2147483647\n"
                                  "\t-- DIAG    -- Board Diagnostice Bits = 0x0080\n"},
                      report_case{"TickleCountIsSigned",
                                  {"FAKE_FIRMWARE=0xFFFFFFFF", "FAKE_TICKLE=0x80000000"},
                                  "\t-- STATUS  -- Board Status Bits = 0x0003\n"
                                  "\t-- VERSION -- Firmware Version: FFFFFF.FF\n"
                                  "\t-- DIP SW  -- Current Dip Switch = 0x05\n"
                                  "\t-- TICKLE  -- Tickle count = -2147483648\n"
                                  "\t-- DIAG    -- Board Diagnostice Bits = 0x0000\n"}),
    [](const auto &info) { return info.param.name; });

} // namespace

namespace {

// The first line of the heap check's log, after a run with it preloaded.
std::string heap_check(const std::string &program, std::vector<std::string> script)
{
    const std::string log_path = temporary_path("heap-check-log");
    script.push_back("LD_PRELOAD=" HEAP_CHECK_LIBRARY);
    script.push_back("HEAP_CHECK_LOG=" + log_path);
    run_program({FAKE_BOARD_DIR, script, "", program});
    const std::vector<std::string> lines = read_lines(log_path);
    remove(log_path.c_str());
    return lines.empty() ? "no log" : lines[0].substr(0, lines[0].find(" first"));
}

TEST(HeapCheck, TheProgramsOwnCodeAllocatesNothingOnTheHeap)
{
#ifdef WATCHDOG_SANITIZE
    GTEST_SKIP() << "the sanitizers replace the allocator themselves";
#endif
    for (const auto &script : std::vector<std::vector<std::string>>{
             {}, {"FAKE_OPEN=-5"}, {"FAKE_DISCOVER=-4"}, {"FAKE_DEVICE_INFO=-6"}})
        EXPECT_EQ(heap_check("", script), "program allocations 0")
            << (script.empty() ? "good run" : script[0]);
}

TEST(HeapCheck, NoticesAnAllocationInTheProgramsOwnCode)
{
#ifdef WATCHDOG_SANITIZE
    GTEST_SKIP() << "the sanitizers replace the allocator themselves";
#endif
    EXPECT_EQ(heap_check(ALLOCATING_PROGRAM, {}), "program allocations 2");
}

} // namespace

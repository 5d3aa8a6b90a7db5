// The stand-in board library: on its own, through its contract, and with the
// program run against it as a user runs it.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run-program.h"
#include "vururi-red-ivi.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string healthy_report = "\t-- STATUS  -- Board Status Bits = 0x0003\n"
                                   "\t-- VERSION -- Firmware Version: 02.07\n"
                                   "\t-- DIP SW  -- Current Dip Switch = 0x05\n"
                                   "\t-- TICKLE  -- Tickle count = 1208\n"
                                   "\t-- DIAG    -- Board Diagnostice Bits = 0x0000\n";

class StandIn : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("WD_SIMULATE"); }
    void TearDown() override { unsetenv("WD_SIMULATE"); }

    std::string error_text()
    {
        char text[WD_E_ERROR_BUFFER_SIZE];
        char detail[WD_E_ERROR_BUFFER_SIZE];
        WD_E_GetErrorInfoMsg(text, detail);
        return std::string(text, strnlen(text, sizeof text));
    }
};

TEST_F(StandIn, SimulatesOneHealthyBoardAt192_168_1_60)
{
    uint32_t version = 0;
    WD_E_GetDllVersion(&version);
    EXPECT_EQ(version, 0x010400u);

    uint32_t handle = 0;
    ASSERT_EQ(WD_E_Open(&handle, 0), 0);

    WD_E_DeviceAddress table[WD_E_DISCOVER_ALL_RECORDS] = {};
    uint32_t count = 0;
    ASSERT_EQ(WD_E_DiscoverAll(handle, table[0].ip, WD_E_DISCOVER_ALL_RECORDS, &count), 0);
    EXPECT_EQ(count, 1u);
    const uint8_t board_ip[4] = {192, 168, 1, 60};
    EXPECT_EQ(memcmp(table[0].ip, board_ip, 4), 0);

    WD_E_DeviceAddress record = {{192, 168, 1, 60}, {}};
    ASSERT_EQ(WD_E_Discover(handle, record.ip, record.mac), 0);
    EXPECT_NE(record.mac[0] | record.mac[5], 0) << "the board's hardware address comes back";

    uint32_t values[2][5] = {};
    for (auto &read : values)
        ASSERT_EQ(WD_E_GetDeviceInfo(handle, &read[0], &read[1], &read[2], &read[3], &read[4]), 0);
    EXPECT_EQ(values[1][3], values[0][3] + 1) << "the tickle count advances between reads";
    EXPECT_EQ(values[0][2], 0x0207u);

    EXPECT_EQ(WD_E_Close(handle), 0);
    EXPECT_NE(WD_E_Discover(handle, record.ip, record.mac), 0) << "a closed handle is refused";
}

TEST_F(StandIn, ADirectedDiscoverElsewhereFailsWithATextNamingTheAddress)
{
    uint32_t handle = 0;
    ASSERT_EQ(WD_E_Open(&handle, 0), 0);
    WD_E_DeviceAddress record = {{10, 0, 0, 5}, {}};
    EXPECT_EQ(WD_E_Discover(handle, record.ip, record.mac), -4);
    EXPECT_EQ(error_text(), "No watchdog board answered at 10.0.0.5");
    WD_E_Close(handle);
}

TEST_F(StandIn, SimulatesEachFailureWithACodeAndAText)
{
    uint32_t handle = 0;
    setenv("WD_SIMULATE", "open-fails", 1);
    EXPECT_EQ(WD_E_Open(&handle, 0), -3);
    EXPECT_THAT(error_text(), HasSubstr("Cannot open"));

    setenv("WD_SIMULATE", "no-board", 1);
    ASSERT_EQ(WD_E_Open(&handle, 0), 0);
    WD_E_DeviceAddress table[WD_E_DISCOVER_ALL_RECORDS] = {};
    uint32_t count = 0;
    EXPECT_EQ(WD_E_DiscoverAll(handle, table[0].ip, WD_E_DISCOVER_ALL_RECORDS, &count), -4);
    WD_E_DeviceAddress record = {{192, 168, 1, 60}, {}};
    EXPECT_EQ(WD_E_Discover(handle, record.ip, record.mac), -4);
    EXPECT_EQ(error_text(), "No watchdog board answered at 192.168.1.60 (simulated)");

    WD_E_Close(handle);

    // The simulation is chosen when the interface opens.
    setenv("WD_SIMULATE", "status-fails", 1);
    ASSERT_EQ(WD_E_Open(&handle, 0), 0);
    uint32_t v[5];
    EXPECT_EQ(WD_E_GetDeviceInfo(handle, &v[0], &v[1], &v[2], &v[3], &v[4]), -6);
    EXPECT_THAT(error_text(), HasSubstr("status read"));
    WD_E_Close(handle);
}

struct simulation_case {
    const char *name;
    const char *simulate;
    int exit_status;
    std::string output;
};

void PrintTo(const simulation_case &c, std::ostream *out) { *out << c.name; }

class ProgramOnStandIn : public ::testing::TestWithParam<simulation_case> {};

const std::string stand_in_line =
    "Vururi-Red-Ivi stand-in: simulated board, no hardware is being tested\n";

// Standard output is what a board's library gives; standard error says that
// this one is not.
TEST_P(ProgramOnStandIn, PrintsWhatAUserSeesAndSaysThatItIsASimulation)
{
    const run_result result = run_program(
        {SIMULATED_BOARD_DIR, {std::string("WD_SIMULATE=") + GetParam().simulate}, "", ""});
    EXPECT_EQ(result.output, GetParam().output);
    EXPECT_EQ(result.exit_status, GetParam().exit_status);
    EXPECT_EQ(result.errors, stand_in_line);
}

INSTANTIATE_TEST_SUITE_P(
    Simulations, ProgramOnStandIn,
    ::testing::Values(
        simulation_case{"HealthyBoard", "", 0,
                        "DLL Version: 01.04.00\nDiscover All Success.\n"
                        "Discover IP Parameters Success.\n" +
                            healthy_report + "\n\nPress Any Key to Exit"},
        simulation_case{"OpenFails", "open-fails", 1,
                        "DLL Version: 01.04.00\n** ERROR ** Open error = -3\n"},
        simulation_case{"NoBoard", "no-board", 0,
                        "DLL Version: 01.04.00\n**** ERROR **** Discover did not find a WDog!\n"
                        "No watchdog board answered at 192.168.1.60 (simulated)\n"
                        "\n\nPress Any Key to Exit"},
        simulation_case{"StatusFails", "status-fails", 0,
                        "DLL Version: 01.04.00\nDiscover All Success.\n"
                        "Discover IP Parameters Success.\n\n\nPress Any Key to Exit"}),
    [](const auto &info) { return info.param.name; });

TEST(StandInChoice, AnUnknownSimulationIsNamedOnStandardErrorOnceAndTheBoardStaysHealthy)
{
    const run_result result = run_program({SIMULATED_BOARD_DIR, {"WD_SIMULATE=no-such"}, "", ""});
    EXPECT_EQ(result.errors,
              stand_in_line +
                  "Vururi-Red-Ivi stand-in: WD_SIMULATE=no-such is not one of open-fails, "
                  "no-board, status-fails; simulating a healthy board\n");
    EXPECT_THAT(result.output, HasSubstr("Discover IP Parameters Success."));
    EXPECT_EQ(result.exit_status, 0);
}

// The program asks for the library by its file name and has no run path: it
// loads what the loader finds, never a stand-in kept beside it.
TEST(Linkage, TheProgramAsksForTheLibraryByItsFileNameAndHasNoRunPath)
{
    FILE *dynamic = popen("readelf -d " WATCHDOG_CONSOLE, "r");
    ASSERT_NE(dynamic, nullptr);
    std::string section;
    char line[512];
    while (fgets(line, sizeof line, dynamic) != nullptr)
        section += line;
    pclose(dynamic);
    EXPECT_THAT(section, HasSubstr("(NEEDED)             Shared library: [libVururi-Red-Ivi.so]"));
    EXPECT_THAT(section, Not(HasSubstr("RUNPATH")));
    EXPECT_THAT(section, Not(HasSubstr("RPATH")));
}

} // namespace

// The Windows console layer's real path: the cross-built program under wine
// at a pseudo-terminal, which wine makes the program's console when standard
// input and output are that terminal. This reaches ReadConsoleInput and the
// saving and restoring of the console's input mode.
//
// Wine's terminal console cannot show three things, which the tests of the
// event filter (console-events-windows-test) cover instead: it holds a lone
// Escape back; it reads the terminal only while a read is pending, so keys
// typed before the prompt are not in the console's buffer yet and the drain
// cannot be seen; and it gives the console no keys when standard input is
// not the terminal. And it hands Ctrl+C to ReadConsoleInput whatever the
// console's input mode, so the Ctrl+C case shows only that the key ends the
// wait, not that processed input is off.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "terminal-session.h"

namespace {

const std::string build_dir = WINDOWS_BUILD_DIR;
const std::string wine_prefix = build_dir + "/wine-prefix";
// The program and the test double of the DLL, as a user puts them together.
const std::string run_dir = build_dir + "/wine-terminal";

bool have_wine() { return system("command -v wine >/dev/null") == 0; }

bool shell(const std::string &command) { return system(command.c_str()) == 0; }

class WineConsole : public TerminalSession {
protected:
    static void SetUpTestSuite()
    {
        if (!have_wine())
            return;
        // The first run in a new wine prefix sets it up, which takes long.
        prepared = shell(
            "mkdir -p '" + run_dir + "' && cp '" + build_dir + "/bin/watchdog-console.exe' '" +
            build_dir + "/tests/fake-board/Vururi-Red-Ivi.dll' '" + run_dir + "/' && WINEPREFIX='" +
            wine_prefix + "' WINEDEBUG=-all wineboot --init >/dev/null 2>&1");
    }

    void SetUp() override
    {
        if (!have_wine()) {
            if (getenv("WATCHDOG_REQUIRE_EVERY_TEST") != nullptr)
                FAIL() << "wine is not installed";
            GTEST_SKIP() << "wine is not installed (packages wine and wine64)";
        }
        ASSERT_TRUE(prepared) << "the run folder or the wine prefix could not be made";
        // A wine server left from an earlier program gives a new terminal
        // console no keys: each run starts its own.
        ASSERT_TRUE(shell("WINEPREFIX='" + wine_prefix +
                          "' wineserver -k 2>/dev/null; WINEPREFIX='" + wine_prefix +
                          "' wineserver -w"));
    }

    void start_under_wine(const std::vector<std::string> &environment = {})
    {
        session_options options;
        options.command = {"/usr/bin/wine", run_dir + "/watchdog-console.exe"};
        options.library_dir = "";
        options.environment = {"WINEPREFIX=" + wine_prefix, "WINEDEBUG=-all", "PATH=/usr/bin:/bin",
                               "HOME=" + std::string(getenv("HOME"))};
        options.environment.insert(options.environment.end(), environment.begin(),
                                   environment.end());
        start(options);
    }

    static bool prepared;
};

bool WineConsole::prepared = false;

class KeyAtTheWinePrompt : public WineConsole, public ::testing::WithParamInterface<key_case> {};

TEST_P(KeyAtTheWinePrompt, EndsTheWaitWithStatusZeroAndTheTerminalAsItWas)
{
    start_under_wine();
    ASSERT_TRUE(wait_for_letters("Press Any Key to Exit", 20000))
        << "the prompt did not show; the screen:\n"
        << screen;
    ASSERT_TRUE(still_waiting_after(500)) << "the program did not wait at the prompt";
    type(GetParam().bytes);
    const session_end result = finish(10000);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.same_settings, 1) << "the terminal's settings changed";
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyAtTheWinePrompt,
                         ::testing::Values(key_case{"Letter", "x"}, key_case{"Up", "\x1b[A"},
                                           key_case{"F1", "\x1bOP"}, key_case{"Enter", "\r"},
                                           key_case{"Delete", "\x1b[3~"},
                                           key_case{"CtrlC", "\x03"}),
                         [](const auto &info) { return info.param.name; });

TEST_F(WineConsole, AFailedOpenEndsAtOnceWithStatusOne)
{
    start_under_wine({"FAKE_OPEN=-5"});
    const session_end result = finish(20000);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_TRUE(wait_for_letters("** ERROR ** Open error = -5", 0)) << screen;
    EXPECT_EQ(result.same_settings, 1);
}

} // namespace

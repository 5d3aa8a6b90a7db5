// The program at a real (pseudo) terminal: the prompt, the keys that end the
// wait, the keys that must not, signals and job control at the prompt, and
// the terminal as the program leaves it.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "terminal-session.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The prompt as the terminal shows it, its line ends turned into CR LF.
const char prompt[] = "\r\n\r\nPress Any Key to Exit";

// A sequence longer than any buffer a reader keeps for one key press.
const std::string overlong_sequence = "\x1b[" + std::string(40, '1') + "~";

using Terminal = TerminalSession;

class KeyAtThePrompt : public Terminal, public ::testing::WithParamInterface<key_case> {};

TEST_P(KeyAtThePrompt, EndsTheWaitWithStatusZeroAndLeavesNoByteBehind)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt)) << "the prompt must show while the program waits";
    ASSERT_TRUE(still_waiting_after(150));
    type(GetParam().bytes);
    const session_end result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.end_signal, 0);
    EXPECT_EQ(result.same_settings, 1);
    EXPECT_EQ(result.leftover, "");
    EXPECT_EQ(screen.substr(screen.find(prompt) + strlen(prompt)), "")
        << "nothing typed at the prompt is echoed";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyAtThePrompt,
    ::testing::Values(key_case{"Letter", "x"}, key_case{"Enter", "\r"}, key_case{"Up", "\x1b[A"},
                      key_case{"F1", "\x1bOP"}, key_case{"F5", "\x1b[15~"},
                      key_case{"CtrlUp", "\x1b[1;5A"}, key_case{"LoneEscape", "\x1b"},
                      key_case{"CtrlC", "\x03"}, key_case{"CtrlZ", "\x1a"},
                      key_case{"CtrlBackslash", "\x1c"}, key_case{"Utf8Character", "\xc3\xa9"},
                      key_case{"AltX", "\x1bx"}, key_case{"UnknownSequence", "\x1b[200~"},
                      // Taken whole: none of their bytes may be left for the shell.
                      key_case{"MouseReport", "\x1b[M !!"},
                      key_case{"OverlongSequence", overlong_sequence}),
    [](const auto &info) { return info.param.name; });

TEST_F(Terminal, KeysTypedWhileTheChecksRunAreDroppedAndANewKeyIsAwaited)
{
    start(with_environment({"FAKE_DELAY_MS=700"}));
    ASSERT_TRUE(wait_for_screen("DLL Version"));
    type("x\x1b[Ay\x1bOP\x1b[M !!" + overlong_sequence + "w");
    ASSERT_TRUE(wait_for_screen(prompt));
    EXPECT_TRUE(still_waiting_after(400)) << "a key typed before the prompt ended the wait";
    type("z");
    const session_end result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.same_settings, 1);
    EXPECT_EQ(result.leftover, "");
}

TEST_F(Terminal, RedirectedStandardInputDoesNotEndTheWait)
{
    session_options options;
    options.input_from_dev_null = true;
    start(options);
    ASSERT_TRUE(wait_for_screen(prompt));
    EXPECT_TRUE(still_waiting_after(400));
    type("k");
    const session_end result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.leftover, "");
}

TEST_F(Terminal, WaitingAtThePromptUsesNoMeasurableCpu)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt));
    ASSERT_TRUE(still_waiting_after(1000));
    type("q");
    const session_end result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_GE(result.cpu_ms, 0);
    EXPECT_LT(result.cpu_ms, 100);
}

TEST_F(Terminal, AtATerminalTooTheProgramsOwnCodeAllocatesNothingOnTheHeap)
{
#ifdef WATCHDOG_SANITIZE
    GTEST_SKIP() << "the sanitizers replace the allocator themselves";
#endif
    const std::string log_path = "/tmp/heap-check-terminal-" + std::to_string(getpid());
    start(with_environment(
        {"LD_PRELOAD=" HEAP_CHECK_LIBRARY, "HEAP_CHECK_LOG=" + log_path, "FAKE_DELAY_MS=300"}));
    ASSERT_TRUE(wait_for_screen("DLL Version"));
    type("a\x1b[A");
    ASSERT_TRUE(wait_for_screen(prompt));
    type("\x1b");
    EXPECT_EQ(finish().exit_status, 0);
    char line[128] = "";
    FILE *log = fopen(log_path.c_str(), "r");
    ASSERT_NE(log, nullptr);
    EXPECT_NE(fgets(line, sizeof line, log), nullptr);
    fclose(log);
    remove(log_path.c_str());
    EXPECT_THAT(line, ::testing::StartsWith("program allocations 0 "));
}

TEST_F(Terminal, AFailedOpenEndsAtOnceWithoutAPrompt)
{
    start(with_environment({"FAKE_OPEN=-5"}));
    const session_end result = finish();
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_THAT(screen, HasSubstr("** ERROR ** Open error = -5"));
    EXPECT_THAT(screen, Not(HasSubstr("Press Any Key")));
    EXPECT_EQ(result.same_settings, 1);
}

struct signal_case {
    const char *name;
    int number;
};

void PrintTo(const signal_case &c, std::ostream *out) { *out << c.name; }

class SignalAtThePrompt : public Terminal, public ::testing::WithParamInterface<signal_case> {};

TEST_P(SignalAtThePrompt, EndsTheProgramWithTheTerminalRestored)
{
    session_options options;
#ifdef WATCHDOG_SANITIZE
    // So that the program's own handling of faults is what the test sees.
    options.environment = {"ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0"};
#endif
    start(options);
    ASSERT_TRUE(wait_for_screen(prompt));
    ASSERT_TRUE(still_waiting_after(100));
    kill(program, GetParam().number);
    const session_end result = finish();
    EXPECT_EQ(result.end_signal, GetParam().number);
    EXPECT_EQ(result.same_settings, 1) << "the terminal was left in raw input";
}

// Every signal whose default action ends the program.
INSTANTIATE_TEST_SUITE_P(
    EndingSignals, SignalAtThePrompt,
    ::testing::Values(
        signal_case{"HUP", SIGHUP}, signal_case{"INT", SIGINT}, signal_case{"QUIT", SIGQUIT},
        signal_case{"TERM", SIGTERM}, signal_case{"USR1", SIGUSR1}, signal_case{"USR2", SIGUSR2},
        signal_case{"PIPE", SIGPIPE}, signal_case{"ALRM", SIGALRM},
        signal_case{"VTALRM", SIGVTALRM}, signal_case{"PROF", SIGPROF},
        signal_case{"XCPU", SIGXCPU}, signal_case{"XFSZ", SIGXFSZ}, signal_case{"ABRT", SIGABRT},
        signal_case{"SEGV", SIGSEGV}, signal_case{"BUS", SIGBUS}, signal_case{"FPE", SIGFPE},
        signal_case{"ILL", SIGILL}, signal_case{"TRAP", SIGTRAP}, signal_case{"SYS", SIGSYS},
        signal_case{"STKFLT", SIGSTKFLT}, signal_case{"IO", SIGIO}, signal_case{"PWR", SIGPWR},
        signal_case{"RTMIN", SIGRTMIN}, signal_case{"RTMAX", SIGRTMAX}),
    [](const auto &info) { return info.param.name; });

TEST_F(Terminal, SignalsTheUserIgnoredStayIgnored)
{
    session_options options;
    options.ignored_signals = {SIGHUP, SIGINT, SIGTERM, SIGUSR1, SIGTSTP};
    start(options);
    ASSERT_TRUE(wait_for_screen(prompt));
    for (const int signal_number : options.ignored_signals)
        kill(program, signal_number);
    EXPECT_TRUE(still_waiting_after(300)) << "an ignored signal ended or stopped the program";
    type("x");
    const session_end result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.same_settings, 1);
}

class StopAtThePrompt : public Terminal, public ::testing::WithParamInterface<signal_case> {};

// As less and vim do: stopped, the program gives the shell the terminal's own
// settings; continued in the foreground, it takes raw input again and goes
// on waiting for one key, even where the shell has put its own settings
// back. SIGSTOP cannot be caught, so only the continue can be seen to.
TEST_P(StopAtThePrompt, GivesTheTerminalBackAndTakesRawInputAgainOnContinue)
{
    session_options options;
    options.start = job_start::foreground;
    start(options);
    ASSERT_TRUE(wait_for_screen(prompt));
    ASSERT_TRUE(still_waiting_after(100));
    kill(program, GetParam().number);
    const session_stop stopped = stop();
    EXPECT_EQ(stopped.signal, GetParam().number);
    if (GetParam().number != SIGSTOP) {
        EXPECT_EQ(stopped.same_settings, 1) << "stopped with the terminal in raw input";
    }
    EXPECT_TRUE(continue_in_foreground()) << "after fg the program waits in line mode";
    const size_t seen = screen.size();
    type("x"); // no Enter: only raw input takes it
    const session_end result = finish(2000);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.same_settings, 1);
    EXPECT_EQ(result.leftover, "");
    EXPECT_THAT(screen.substr(seen), Not(HasSubstr("x"))) << "the key was echoed";
}

INSTANTIATE_TEST_SUITE_P(StopSignals, StopAtThePrompt,
                         ::testing::Values(signal_case{"TSTP", SIGTSTP},
                                           signal_case{"STOP", SIGSTOP}),
                         [](const auto &info) { return info.param.name; });

// Started with &, the program runs its checks and shows its prompt in the
// background, then stops until it has the terminal; the settings it puts back
// at the end are the terminal's own, not the shell's line editor's.
TEST_F(Terminal, StartedInTheBackgroundItReadsTheSettingsOnlyInTheForeground)
{
    session_options options;
    options.start = job_start::background;
    start(options);
    ASSERT_TRUE(wait_for_screen(prompt));
    const session_stop stopped = stop();
    EXPECT_EQ(stopped.signal, SIGTTIN);
    EXPECT_TRUE(continue_in_foreground());
    type("x");
    const session_end result = finish(2000);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.same_settings, 1) << "the shell's line-editor settings were put back";
}

// With its output lost, the program must not sit at a prompt nobody sees:
// it says why on standard error at once and ends with status 2.
TEST_F(Terminal, AnUnwritableOutputEndsAtOnceWithoutWaitingForAKey)
{
    const struct {
        const char *output;
        const char *reason;
    } cases[] = {{"/dev/full", "No space left on device"}, {"closed", "Bad file descriptor"}};
    for (const auto &c : cases) {
        session_options options;
        options.output = c.output;
        start(options);
        const session_end result = finish(1500);
        EXPECT_EQ(result.exit_status, 2) << c.output;
        EXPECT_EQ(result.same_settings, 1) << c.output;
        EXPECT_THAT(screen,
                    HasSubstr(std::string("watchdog-console: cannot write standard output: ") +
                              c.reason + "\r\n"))
            << c.output;
        end_session();
    }
}

TEST_F(Terminal, AHangupEndsTheRun)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt));
    close_terminal();
    const session_end result = finish(3000);
    EXPECT_TRUE(result.exit_status == 0 || result.end_signal == SIGHUP)
        << "exit " << result.exit_status << " signal " << result.end_signal;
    EXPECT_LT(result.cpu_ms, 100) << "the program spun on the hung-up terminal";
}

// Under nohup, a program stopped at the prompt whose terminal then hangs up
// has no keyboard left once continued: it must end, not stop again to wait
// for a foreground that cannot come.
TEST_F(Terminal, AHangupWhileStoppedUnderNohupEndsTheRunOnContinue)
{
    session_options options;
    options.start = job_start::foreground;
    options.ignored_signals = {SIGHUP};
    start(options);
    ASSERT_TRUE(wait_for_screen(prompt));
    ASSERT_TRUE(still_waiting_after(100));
    kill(program, SIGTSTP);
    ASSERT_EQ(stop().signal, SIGTSTP);
    close_terminal();
    continue_in_foreground();
    const session_end result = finish(3000);
    EXPECT_EQ(result.exit_status, 0);
}

} // namespace

// The program at a real (pseudo) terminal: the prompt, the keys that end the
// wait, the keys that must not, and the terminal as the program leaves it.
//
// Each test starts a helper as the session leader of a new pseudo-terminal.
// The helper runs the program in the foreground, waits for it, and reports
// back over a pipe how it ended, whether the terminal settings are as they
// were, how much CPU it used and which typed bytes it left unread.

#include <pty.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run-program.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The prompt as the terminal shows it, its line ends turned into CR LF.
const char prompt[] = "\r\n\r\nPress Any Key to Exit";

bool same_settings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Runs in the helper, with the pseudo-terminal as its controlling terminal.
[[noreturn]] void run_helper(int report_fd, const std::vector<std::string> &environment,
                             bool input_from_dev_null)
{
    // The helper outlives a hangup so that it can still report; the program
    // gets the default action back when it starts.
    signal(SIGHUP, [](int) {});
    termios before{};
    tcgetattr(STDIN_FILENO, &before);

    const pid_t program = fork();
    if (program == 0) {
        const rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        if (input_from_dev_null)
            dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
        close(report_fd);
        exec_program("", FAKE_BOARD_DIR, environment);
    }
    dprintf(report_fd, "pid %d\n", program);

    int status = 0;
    rusage usage{};
    while (wait4(program, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    termios after{};
    const bool readable = tcgetattr(STDIN_FILENO, &after) == 0;

    std::string leftover;
    if (readable) {
        termios peek = after;
        peek.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        peek.c_cc[VMIN] = 0;
        peek.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &peek);
        unsigned char bytes[64];
        const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
        for (ssize_t i = 0; i < count; ++i) {
            char hex[4];
            snprintf(hex, sizeof hex, "%02X", bytes[i]);
            leftover += hex;
        }
        tcsetattr(STDIN_FILENO, TCSANOW, &after);
    }
    const long cpu_ms = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    dprintf(report_fd, "exit %d signal %d same %d cpu_ms %ld leftover [%s]\n",
            WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            readable ? (same_settings(before, after) ? 1 : 0) : -1, cpu_ms, leftover.c_str());
    _exit(0);
}

struct report {
    int exit_status = -2;
    int end_signal = -2;
    int same_settings = -2;
    long cpu_ms = -1;
    std::string leftover = "?";
};

class Terminal : public ::testing::Test {
protected:
    void start(const std::vector<std::string> &environment = {}, bool input_from_dev_null = false)
    {
        int report_pipe[2];
        ASSERT_EQ(pipe(report_pipe), 0);
        helper = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(helper, 0);
        if (helper == 0) {
            close(report_pipe[0]);
            run_helper(report_pipe[1], environment, input_from_dev_null);
        }
        close(report_pipe[1]);
        report_fd = report_pipe[0];
        ASSERT_TRUE(wait_for_report_line("pid ")) << "the helper did not start the program";
        program = std::stoi(report_text.substr(report_text.find("pid ") + 4));
    }

    void TearDown() override
    {
        if (helper > 0) {
            kill(program, SIGKILL);
            kill(helper, SIGKILL);
            waitpid(helper, nullptr, 0);
        }
        if (master >= 0)
            close(master);
        if (report_fd >= 0)
            close(report_fd);
    }

    // Reads the terminal and the report pipe until the report has a line
    // starting with that text, or the time is up.
    bool wait_for_report_line(const std::string &start, int limit_ms = 5000)
    {
        return wait_until([&] { return report_text.find(start) != std::string::npos; }, limit_ms);
    }

    bool wait_for_screen(const std::string &text, int limit_ms = 5000)
    {
        return wait_until([&] { return screen.find(text) != std::string::npos; }, limit_ms);
    }

    template <typename Condition>
    bool wait_until(Condition done, int limit_ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd streams[2] = {{master, POLLIN, 0}, {report_fd, POLLIN, 0}};
            if (poll(streams, 2, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[1024];
            if (master >= 0 && streams[0].revents != 0) {
                const ssize_t count = read(master, buffer, sizeof buffer);
                if (count > 0)
                    screen.append(buffer, static_cast<size_t>(count));
                else
                    close_terminal();
            }
            if (streams[1].revents != 0) {
                const ssize_t count = read(report_fd, buffer, sizeof buffer);
                if (count <= 0)
                    return done();
                report_text.append(buffer, static_cast<size_t>(count));
            }
        }
        return true;
    }

    // True when the program is still running after that long.
    bool still_waiting_after(int ms) { return !wait_for_report_line("exit ", ms); }

    void type(const std::string &bytes)
    {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    void close_terminal()
    {
        if (master >= 0)
            close(master);
        master = -1;
    }

    report finish(int limit_ms = 5000)
    {
        report result;
        if (!wait_for_report_line("exit ", limit_ms))
            return result;
        char leftover[256] = "";
        sscanf(report_text.c_str() + report_text.find("exit "),
               "exit %d signal %d same %d cpu_ms %ld leftover [%255[0-9A-F]]", &result.exit_status,
               &result.end_signal, &result.same_settings, &result.cpu_ms, leftover);
        result.leftover = leftover;
        waitpid(helper, nullptr, 0);
        helper = -1;
        return result;
    }

    pid_t helper = -1;
    pid_t program = -1;
    int master = -1;
    int report_fd = -1;
    std::string screen;
    std::string report_text;
};

struct key_case {
    const char *name;
    std::string bytes;
};

void PrintTo(const key_case &key, std::ostream *out) { *out << key.name; }

class KeyAtThePrompt : public Terminal, public ::testing::WithParamInterface<key_case> {};

TEST_P(KeyAtThePrompt, EndsTheWaitWithStatusZeroAndLeavesNoByteBehind)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt)) << "the prompt must show while the program waits";
    ASSERT_TRUE(still_waiting_after(150));
    type(GetParam().bytes);
    const report result = finish();
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
                      key_case{"AltX", "\x1bx"}, key_case{"UnknownSequence", "\x1b[200~"}),
    [](const auto &info) { return info.param.name; });

TEST_F(Terminal, KeysTypedWhileTheChecksRunAreDroppedAndANewKeyIsAwaited)
{
    start({"FAKE_DELAY_MS=700"});
    ASSERT_TRUE(wait_for_screen("DLL Version"));
    type("x\x1b[Ay\x1bOP");
    ASSERT_TRUE(wait_for_screen(prompt));
    EXPECT_TRUE(still_waiting_after(400)) << "a key typed before the prompt ended the wait";
    type("z");
    const report result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.same_settings, 1);
    EXPECT_EQ(result.leftover, "");
}

TEST_F(Terminal, RedirectedStandardInputDoesNotEndTheWait)
{
    start({}, true);
    ASSERT_TRUE(wait_for_screen(prompt));
    EXPECT_TRUE(still_waiting_after(400));
    type("k");
    const report result = finish();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.leftover, "");
}

TEST_F(Terminal, WaitingAtThePromptUsesNoMeasurableCpu)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt));
    ASSERT_TRUE(still_waiting_after(1000));
    type("q");
    const report result = finish();
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
    start({"LD_PRELOAD=" HEAP_CHECK_LIBRARY, "HEAP_CHECK_LOG=" + log_path, "FAKE_DELAY_MS=300"});
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
    start({"FAKE_OPEN=-5"});
    const report result = finish();
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_THAT(screen, HasSubstr("** ERROR ** Open error = -5"));
    EXPECT_THAT(screen, Not(HasSubstr("Press Any Key")));
    EXPECT_EQ(result.same_settings, 1);
}

class SignalAtThePrompt : public Terminal, public ::testing::WithParamInterface<int> {};

TEST_P(SignalAtThePrompt, EndsTheProgramWithTheTerminalRestored)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt));
    ASSERT_TRUE(still_waiting_after(100));
    kill(program, GetParam());
    const report result = finish();
    EXPECT_EQ(result.end_signal, GetParam());
    EXPECT_EQ(result.same_settings, 1) << "the terminal was left in raw input";
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, SignalAtThePrompt,
                         ::testing::Values(SIGTERM, SIGHUP, SIGINT, SIGQUIT),
                         [](const auto &info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(Terminal, AHangupEndsTheRun)
{
    start();
    ASSERT_TRUE(wait_for_screen(prompt));
    close_terminal();
    const report result = finish(3000);
    EXPECT_TRUE(result.exit_status == 0 || result.end_signal == SIGHUP)
        << "exit " << result.exit_status << " signal " << result.end_signal;
    EXPECT_LT(result.cpu_ms, 100) << "the program spun on the hung-up terminal";
}

} // namespace

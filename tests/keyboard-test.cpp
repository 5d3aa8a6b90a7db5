// The keyboard layer itself, called in a child process whose controlling
// terminal is a fresh pseudo-terminal that the test types into.

#include <pty.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "keyboard.h"

namespace {

using clock_type = std::chrono::steady_clock;

long milliseconds_since(clock_type::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start).count());
}

struct child_run {
    std::string lines; // what the child wrote to its report pipe
    bool ended = false;
};

// Types the bytes into a new pseudo-terminal, then runs calls in a child
// that has it as controlling terminal, and collects the child's report.
// With hang_up set the terminal is closed as soon as the bytes are in.
child_run with_terminal(const std::string &typed, const std::function<void(FILE *)> &calls,
                        bool hang_up = false)
{
    int report[2];
    int go[2];
    if (pipe(report) != 0 || pipe(go) != 0)
        return {};
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        signal(SIGHUP, SIG_IGN); // a hangup must show as the keyboard going, not end the test
        close(report[0]);
        close(go[1]);
        char ready;
        if (read(go[0], &ready, 1) != 1)
            _exit(1);
        FILE *out = fdopen(report[1], "w");
        calls(out);
        fclose(out);
        _exit(0);
    }
    close(report[1]);
    close(go[0]);
    if (!typed.empty() && write(master, typed.data(), typed.size()) < 0)
        return {};
    usleep(50000); // the terminal hands typed bytes on asynchronously
    if (hang_up) {
        close(master);
        master = -1;
    }
    if (write(go[1], "g", 1) != 1)
        return {};

    child_run run;
    char buffer[512];
    const auto start = clock_type::now();
    for (;;) {
        pollfd streams[2] = {{report[0], POLLIN, 0}, {master, POLLIN, 0}};
        if (milliseconds_since(start) > 5000 || poll(streams, 2, 100) < 0)
            break;
        if (streams[1].revents != 0 && read(master, buffer, sizeof buffer) <= 0) {
            close(master);
            master = -1;
        }
        if (streams[0].revents != 0) {
            const ssize_t count = read(report[0], buffer, sizeof buffer);
            if (count <= 0) {
                run.ended = true;
                break;
            }
            run.lines.append(buffer, static_cast<size_t>(count));
        }
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(report[0]);
    close(go[1]);
    if (master >= 0)
        close(master);
    return run;
}

// Drains the keyboard as the program does before its prompt, writing each
// answer: "+" for a key available and the code read, "." for none left.
void drain(FILE *out)
{
    while (key_available())
        fprintf(out, "+%d ", read_key());
    fprintf(out, ".");
}

TEST(Keyboard, KeysTypedAheadAreReadInOrderEachWholeAndThenNoneIsAvailable)
{
    const child_run run = with_terminal("a\x1b[Ab\xc3\xa9\x1bOP", drain);
    EXPECT_TRUE(run.ended);
    EXPECT_EQ(run.lines, "+97 +224 +72 +98 +233 +0 +59 .");
}

TEST(Keyboard, ASequenceBrokenByAKeyGivesBothKeys)
{
    // ESC [ 1 cannot go on with Ctrl+A: an unknown key, then Ctrl+A itself.
    const child_run run = with_terminal("\x1b[1\x01", drain);
    EXPECT_EQ(run.lines, "+0 +0 +1 .");
}

TEST(Keyboard, KeyAvailableAnswersAtOnceWhenNothingWasTyped)
{
    const child_run run = with_terminal("", [](FILE *out) {
        const auto start = clock_type::now();
        const bool available = key_available();
        fprintf(out, "%d %ld", available ? 1 : 0, milliseconds_since(start));
    });
    long elapsed = -1;
    int available = -1;
    ASSERT_EQ(sscanf(run.lines.c_str(), "%d %ld", &available, &elapsed), 2) << run.lines;
    EXPECT_EQ(available, 0);
    EXPECT_LT(elapsed, 50);
}

TEST(Keyboard, ALoneEscapeIsToldFromASequenceByAShortWait)
{
    const child_run run = with_terminal("\x1b", [](FILE *out) {
        const auto start = clock_type::now();
        const int code = read_key();
        fprintf(out, "%d %ld %d", code, milliseconds_since(start), key_available() ? 1 : 0);
    });
    int code = -2;
    long elapsed = -1;
    int available = -1;
    ASSERT_EQ(sscanf(run.lines.c_str(), "%d %ld %d", &code, &elapsed, &available), 3) << run.lines;
    EXPECT_EQ(code, 27);
    EXPECT_GE(elapsed, 50);
    EXPECT_LE(elapsed, 250);
    EXPECT_EQ(available, 0);
}

TEST(Keyboard, EveryCallLeavesTheTerminalSettingsAsTheyWere)
{
    const child_run run = with_terminal("x\x1b[B", [](FILE *out) {
        termios before{};
        termios after{};
        tcgetattr(STDIN_FILENO, &before);
        int changed = 0;
        for (int call = 0; call < 4; ++call) {
            if (call % 2 == 0)
                key_available();
            else
                read_key();
            tcgetattr(STDIN_FILENO, &after);
            changed += before.c_lflag != after.c_lflag || before.c_iflag != after.c_iflag ||
                       before.c_cc[VMIN] != after.c_cc[VMIN];
        }
        fprintf(out, "changed %d", changed);
    });
    EXPECT_EQ(run.lines, "changed 0");
}

TEST(Keyboard, AfterAHangupTheKeyboardIsGoneForGoodWithoutWaiting)
{
    const child_run run = with_terminal(
        "",
        [](FILE *out) {
            const auto start = clock_type::now();
            const int first = read_key();
            const int second = read_key();
            const bool available = key_available();
            fprintf(out, "%d %d %d %ld", first, second, available ? 1 : 0,
                    milliseconds_since(start));
        },
        true);
    int first = 0;
    int second = 0;
    int available = -1;
    long elapsed = -1;
    ASSERT_EQ(sscanf(run.lines.c_str(), "%d %d %d %ld", &first, &second, &available, &elapsed), 4)
        << run.lines;
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, -1);
    EXPECT_EQ(available, 0);
    EXPECT_LT(elapsed, 100);
}

TEST(Keyboard, WithoutAControllingTerminalThereIsNoKeyboard)
{
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const bool available = key_available();
        const int code = read_key();
        dprintf(report[1], "%d %d", available ? 1 : 0, code);
        _exit(0);
    }
    close(report[1]);
    char buffer[64] = {};
    ASSERT_GT(read(report[0], buffer, sizeof buffer - 1), 0);
    close(report[0]);
    waitpid(child, nullptr, 0);
    EXPECT_STREQ(buffer, "0 -1");
}

} // namespace

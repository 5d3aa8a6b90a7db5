// A program at a real (pseudo) terminal, started as a user's shell starts it.
//
// A helper is the session leader of a new pseudo-terminal, as a login shell
// is. It runs the program, waits for it, and reports back over a pipe how it
// ended, whether the terminal's settings are as they were, how much CPU it
// used and which typed bytes it left unread. With job control it starts the
// program in a process group of its own, in the foreground or the
// background, reports each stop with the terminal's settings at that moment,
// and on the test's word brings the program to the foreground and continues
// it, as a shell's fg does.
#ifndef TERMINAL_SESSION_H
#define TERMINAL_SESSION_H

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

enum class job_start {
    in_the_shells_group, // no job control: the program shares the helper's process group
    foreground,          // a job of its own, given the terminal
    background,          // a job of its own, started with &: the helper keeps the terminal
};

struct session_options {
    // The command to run; empty for watchdog-console.
    std::vector<std::string> command;
    // NAME=VALUE entries added to the program's minimal environment.
    std::vector<std::string> environment;
    // The folder whose libVururi-Red-Ivi.so the program is to load.
    std::string library_dir = FAKE_BOARD_DIR;
    bool input_from_dev_null = false;
    // Where standard output goes: empty for the terminal, a file's path, or
    // "closed" for no standard output at all.
    std::string output;
    // Signals the program starts with ignored, as under nohup.
    std::vector<int> ignored_signals;
    job_start start = job_start::in_the_shells_group;
};

inline session_options with_environment(std::vector<std::string> environment)
{
    session_options options;
    options.environment = std::move(environment);
    return options;
}

// How the program ended; -2 in each field when no report came.
struct session_end {
    int exit_status = -2;
    int end_signal = -2;
    int same_settings = -2; // 1 when the terminal's settings are as before the run
    long cpu_ms = -1;
    std::string leftover = "?"; // typed bytes the program left unread, in hex
};

// A stop of the program, as the helper saw it.
struct session_stop {
    int signal = -2;
    int same_settings = -2; // 1 when the terminal had its own settings back while stopped
};

// A key press as a terminal sends it, named for the test's name.
struct key_case {
    const char *name;
    std::string bytes;
};

inline void PrintTo(const key_case &key, std::ostream *out) { *out << key.name; }

class TerminalSession : public ::testing::Test {
protected:
    void start(const session_options &options = {});
    // Ends the program and the helper if still running; start may follow.
    void end_session();
    void TearDown() override { end_session(); }

    bool wait_for_screen(const std::string &text, int limit_ms = 5000);
    // The same for text that a console redraws: escape sequences and white
    // space are left out of both before they are compared.
    bool wait_for_letters(const std::string &text, int limit_ms = 5000);
    // True when the program is still running after that long.
    bool still_waiting_after(int ms);
    void type(const std::string &bytes);
    // Hangs up the terminal.
    void close_terminal();
    // Waits for the program's next stop.
    session_stop stop(int limit_ms = 5000);
    // As a shell's fg: the terminal gets its settings from before the run
    // back and goes to the program, which is continued. True when the
    // program has raw input again within a second.
    bool continue_in_foreground();
    session_end finish(int limit_ms = 5000);

    pid_t program = -1;
    std::string screen; // all the terminal showed, as it came

private:
    bool wait_for_report_line(const std::string &start, int limit_ms);
    template <typename Condition>
    bool wait_until(Condition done, int limit_ms);

    pid_t helper = -1;
    int master = -1;
    int report_fd = -1;
    int command_fd = -1;
    std::string report_text;
    size_t report_read = 0; // how much of report_text the test has taken
};

#endif

#include "terminal-session.h"

#include <pty.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "run-program.h"

namespace {

bool same_settings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

bool in_raw_input()
{
    termios now{};
    return tcgetattr(STDIN_FILENO, &now) == 0 && (now.c_lflag & ICANON) == 0;
}

// The text without escape sequences (ESC [ ... final byte) and white space.
std::string letters_of(const std::string &text)
{
    std::string letters;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\x1b' && at + 1 < text.size() && text[at + 1] == '[') {
            at += 2;
            while (at < text.size() && (text[at] < 0x40 || text[at] > 0x7E))
                ++at;
        } else if (!isspace(static_cast<unsigned char>(text[at]))) {
            letters += text[at];
        }
    }
    return letters;
}

// In the program's process, before it starts.
[[noreturn]] void exec_in_session(const session_options &options)
{
    const rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    // What a shell gives its jobs: the default actions, but for what the user ignored.
    for (const int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTTOU})
        signal(signal_number, SIG_DFL);
    for (const int signal_number : options.ignored_signals)
        signal(signal_number, SIG_IGN);
    if (options.input_from_dev_null)
        dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
    if (options.output == "closed")
        close(STDOUT_FILENO);
    else if (!options.output.empty())
        dup2(open(options.output.c_str(), O_WRONLY), STDOUT_FILENO);
    exec_program(options.command, options.library_dir, options.environment);
}

// Reports a stop, then on the test's word continues the program in the
// foreground as fg does, and reports whether it took raw input again.
void handle_stop(int report_fd, int command_fd, pid_t program, int signal_number,
                 const termios &before, bool job_control)
{
    if (job_control)
        tcsetpgrp(STDIN_FILENO, getpgrp()); // the shell takes the terminal back
    termios now{};
    tcgetattr(STDIN_FILENO, &now);
    dprintf(report_fd, "stopped %d same %d\n", signal_number, same_settings(before, now) ? 1 : 0);
    char word = 0;
    if (read(command_fd, &word, 1) != 1) {
        kill(program, SIGKILL);
        return;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &before);
    if (job_control)
        tcsetpgrp(STDIN_FILENO, program);
    kill(job_control ? -program : program, SIGCONT);
    bool raw = false;
    for (int waited_ms = 0; waited_ms < 1000 && !raw; waited_ms += 5) {
        usleep(5000);
        raw = in_raw_input();
    }
    dprintf(report_fd, "continued raw %d\n", raw ? 1 : 0);
}

// The typed bytes that nobody read, in hex.
std::string unread_input(const termios &settings)
{
    termios peek = settings;
    peek.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    peek.c_cc[VMIN] = 0;
    peek.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &peek);
    unsigned char bytes[64];
    const ssize_t count = read(STDIN_FILENO, bytes, sizeof bytes);
    std::string leftover;
    for (ssize_t i = 0; i < count; ++i) {
        char hex[4];
        snprintf(hex, sizeof hex, "%02X", bytes[i]);
        leftover += hex;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &settings);
    return leftover;
}

// Runs in the helper, with the pseudo-terminal as its controlling terminal.
[[noreturn]] void run_helper(int report_fd, int command_fd, const session_options &options)
{
    // The helper outlives a hangup so that it can still report, and, as a
    // shell, hands the terminal from job to job and outlives the keys that
    // interrupt a job.
    signal(SIGHUP, [](int) {});
    for (const int signal_number : {SIGINT, SIGQUIT, SIGTTOU})
        signal(signal_number, SIG_IGN);
    const bool job_control = options.start != job_start::in_the_shells_group;
    termios before{};
    tcgetattr(STDIN_FILENO, &before);
    if (options.start == job_start::background) {
        // While a job runs in the background, the shell's line editor has the terminal.
        termios line_editor = before;
        line_editor.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &line_editor);
    }

    int go[2];
    if (pipe(go) != 0)
        _exit(1);
    const pid_t program = fork();
    if (program == 0) {
        close(report_fd);
        close(command_fd);
        close(go[1]);
        if (job_control)
            setpgid(0, 0);
        char ready = 0;
        if (read(go[0], &ready, 1) != 1) // until the terminal is handed out
            _exit(1);
        close(go[0]);
        exec_in_session(options);
    }
    if (job_control)
        setpgid(program, program);
    if (options.start == job_start::foreground)
        tcsetpgrp(STDIN_FILENO, program);
    close(go[0]);
    if (write(go[1], "g", 1) != 1)
        _exit(1);
    close(go[1]);
    dprintf(report_fd, "pid %d\n", program);

    int status = 0;
    rusage usage{};
    for (;;) {
        while (wait4(program, &status, WUNTRACED, &usage) < 0 && errno == EINTR) {
        }
        if (!WIFSTOPPED(status))
            break;
        handle_stop(report_fd, command_fd, program, WSTOPSIG(status), before, job_control);
    }
    if (job_control)
        tcsetpgrp(STDIN_FILENO, getpgrp());
    termios after{};
    const bool readable = tcgetattr(STDIN_FILENO, &after) == 0;
    const std::string leftover = readable ? unread_input(after) : "";
    const long cpu_ms = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    dprintf(report_fd, "exit %d signal %d same %d cpu_ms %ld leftover [%s]\n",
            WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            readable ? (same_settings(before, after) ? 1 : 0) : -1, cpu_ms, leftover.c_str());
    _exit(0);
}

} // namespace

void TerminalSession::start(const session_options &options)
{
    int report_pipe[2];
    int command_pipe[2];
    ASSERT_EQ(pipe(report_pipe), 0);
    ASSERT_EQ(pipe(command_pipe), 0);
    helper = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        close(report_pipe[0]);
        close(command_pipe[1]);
        run_helper(report_pipe[1], command_pipe[0], options);
    }
    close(report_pipe[1]);
    close(command_pipe[0]);
    report_fd = report_pipe[0];
    command_fd = command_pipe[1];
    ASSERT_TRUE(wait_for_report_line("pid ", 5000)) << "the helper did not start the program";
    program = std::stoi(report_text.substr(report_text.find("pid ") + 4));
}

void TerminalSession::end_session()
{
    if (helper > 0) {
        kill(program, SIGKILL);
        kill(helper, SIGKILL);
        waitpid(helper, nullptr, 0);
    }
    for (int *fd : {&master, &report_fd, &command_fd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    helper = program = -1;
    screen.clear();
    report_text.clear();
    report_read = 0;
}

template <typename Condition>
bool TerminalSession::wait_until(Condition done, int limit_ms)
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

// Waits for a whole report line that starts with that text, past the lines
// already taken, and takes it.
bool TerminalSession::wait_for_report_line(const std::string &start, int limit_ms)
{
    size_t found = std::string::npos;
    const bool seen = wait_until(
        [&] {
            found = report_text.find(start, report_read);
            return found != std::string::npos && report_text.find('\n', found) != std::string::npos;
        },
        limit_ms);
    if (seen)
        report_read = found;
    return seen;
}

bool TerminalSession::wait_for_screen(const std::string &text, int limit_ms)
{
    return wait_until([&] { return screen.find(text) != std::string::npos; }, limit_ms);
}

bool TerminalSession::wait_for_letters(const std::string &text, int limit_ms)
{
    const std::string letters = letters_of(text);
    return wait_until([&] { return letters_of(screen).find(letters) != std::string::npos; },
                      limit_ms);
}

bool TerminalSession::still_waiting_after(int ms) { return !wait_for_report_line("exit ", ms); }

void TerminalSession::type(const std::string &bytes)
{
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void TerminalSession::close_terminal()
{
    if (master >= 0)
        close(master);
    master = -1;
}

session_stop TerminalSession::stop(int limit_ms)
{
    session_stop result;
    if (!wait_for_report_line("stopped ", limit_ms))
        return result;
    sscanf(report_text.c_str() + report_read, "stopped %d same %d", &result.signal,
           &result.same_settings);
    ++report_read;
    return result;
}

bool TerminalSession::continue_in_foreground()
{
    if (write(command_fd, "f", 1) != 1 || !wait_for_report_line("continued ", 5000))
        return false;
    int raw = 0;
    sscanf(report_text.c_str() + report_read, "continued raw %d", &raw);
    ++report_read;
    return raw == 1;
}

session_end TerminalSession::finish(int limit_ms)
{
    session_end result;
    if (!wait_for_report_line("exit ", limit_ms))
        return result;
    char leftover[256] = "";
    sscanf(report_text.c_str() + report_read,
           "exit %d signal %d same %d cpu_ms %ld leftover [%255[0-9A-F]]", &result.exit_status,
           &result.end_signal, &result.same_settings, &result.cpu_ms, leftover);
    result.leftover = leftover;
    waitpid(helper, nullptr, 0);
    helper = -1;
    return result;
}

#include "run-program.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Long enough for any run without a terminal; a run that takes longer hangs.
const int run_limit_ms = 10000;

void collect(int output_fd, int errors_fd, run_result &result)
{
    const auto start = std::chrono::steady_clock::now();
    pollfd streams[2] = {{output_fd, POLLIN, 0}, {errors_fd, POLLIN, 0}};
    std::string *texts[2] = {&result.output, &result.errors};
    int open_streams = (output_fd >= 0) + (errors_fd >= 0);
    while (open_streams > 0) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const int left_ms =
            run_limit_ms -
            static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
        if (left_ms <= 0 || poll(streams, 2, left_ms) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t count = read(streams[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                texts[i]->append(buffer, static_cast<size_t>(count));
            } else {
                streams[i].fd = -1;
                --open_streams;
            }
        }
    }
}

} // namespace

run_result run_program(const run_options &options)
{
    int output_pipe[2];
    int errors_pipe[2];
    if (pipe(output_pipe) != 0 || pipe(errors_pipe) != 0)
        return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        // A new session has no controlling terminal: the keyboard is absent.
        setsid();
        const int input = open("/dev/null", O_RDONLY);
        dup2(input, STDIN_FILENO);
        if (options.output_path.empty())
            dup2(output_pipe[1], STDOUT_FILENO);
        else
            dup2(open(options.output_path.c_str(), O_WRONLY), STDOUT_FILENO);
        dup2(errors_pipe[1], STDERR_FILENO);
        for (const int fd : {output_pipe[0], output_pipe[1], errors_pipe[0], errors_pipe[1]})
            close(fd);
        exec_program(options.program.empty() ? std::vector<std::string>{}
                                             : std::vector<std::string>{options.program},
                     options.library_dir, options.environment);
    }
    close(output_pipe[1]);
    close(errors_pipe[1]);
    run_result result;
    collect(output_pipe[0], errors_pipe[0], result);
    close(output_pipe[0]);
    close(errors_pipe[0]);

    int status = 0;
    for (int waited_ms = 0; waitpid(child, &status, WNOHANG) == 0; waited_ms += 10) {
        if (waited_ms >= run_limit_ms) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(10000);
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status))
        result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.end_signal = WTERMSIG(status);
    return result;
}

void exec_program(const std::vector<std::string> &command, const std::string &library_dir,
                  const std::vector<std::string> &environment)
{
    std::vector<std::string> entries = {"LD_LIBRARY_PATH=" + library_dir, "LC_ALL=C"};
    std::string preload;
    if (const char *own_preload = getenv("LD_PRELOAD"))
        preload = own_preload;
    for (const auto &entry : environment) {
        if (entry.rfind("LD_PRELOAD=", 0) == 0)
            preload = entry.substr(strlen("LD_PRELOAD=")) + (preload.empty() ? "" : ":" + preload);
        else
            entries.push_back(entry);
    }
    if (!preload.empty())
        entries.push_back("LD_PRELOAD=" + preload);
    std::vector<char *> envp;
    for (auto &entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = command;
    if (arguments.empty())
        arguments.push_back(WATCHDOG_CONSOLE);
    std::vector<char *> argv;
    for (auto &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

std::string temporary_path(const char *stem)
{
    static int serial = 0;
    return std::string("/tmp/") + stem + "-" + std::to_string(getpid()) + "-" +
           std::to_string(++serial);
}

std::vector<std::string> read_lines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// Runs the built program as a user would, with no controlling terminal, and
// collects what it printed and how it ended.
#ifndef RUN_PROGRAM_H
#define RUN_PROGRAM_H

#include <string>
#include <vector>

struct run_result {
    int exit_status = -1; // -1 when it did not exit by itself
    int end_signal = 0;   // the signal that ended it, 0 when none
    std::string output;
    std::string errors;
    double seconds = 0;
};

struct run_options {
    // The folder whose libVururi-Red-Ivi.so the program is to load.
    std::string library_dir;
    // NAME=VALUE entries added to a minimal environment.
    std::vector<std::string> environment;
    // Where standard output goes instead of being collected, such as /dev/full.
    std::string output_path;
    // The program to run, when it is not watchdog-console.
    std::string program;
};

run_result run_program(const run_options &options);

// Replaces this freshly forked process with the command (watchdog-console
// alone when it is empty), in an environment of nothing but the library
// folder and the given NAME=VALUE entries. An LD_PRELOAD of the test's own is
// passed on, so that a whole suite can run with a preloaded library.
[[noreturn]] void exec_program(const std::vector<std::string> &command,
                               const std::string &library_dir,
                               const std::vector<std::string> &environment);

// A temporary file's name, unique to this process and call, removed by the caller.
std::string temporary_path(const char *stem);

std::vector<std::string> read_lines(const std::string &path);

#endif

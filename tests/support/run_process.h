// Runs the real executable in a child process for end-to-end tests: given
// arguments, environment additions and a working directory, with a time limit;
// returns its exit code and what it printed on stderr and stdout.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace gf::testing {

struct ProcessResult {
    int exit_code = -1;  // -1 when it did not exit normally
    int signal = 0;      // the signal that ended it, if any
    bool timed_out = false;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    std::vector<std::string> args;                         // without argv[0]
    std::vector<std::pair<std::string, std::string>> env;  // set (empty value: unset)
    std::string working_dir;                               // empty: inherit
    double timeout_seconds = 60.0;
    double send_sigterm_after = -1.0;  // ≥ 0: send SIGTERM after this many seconds
};

ProcessResult run_process(const std::string& executable, const ProcessOptions& options);

// Lines of `text`, without empty trailing lines.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace gf::testing

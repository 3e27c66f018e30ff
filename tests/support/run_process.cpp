// fork/exec with pipes for stdout and stderr, polled until exit or timeout.
#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace gf::testing {

namespace {
void drain(int fd, std::string& into, bool& open) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;
    }
}
}  // namespace

ProcessResult run_process(const std::string& executable, const ProcessOptions& options) {
    ProcessResult result;
    int out_pipe[2];
    int err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
        result.err = "pipe failed";
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        close(out_pipe[0]);
        close(err_pipe[0]);
        const int null_in = open("/dev/null", O_RDONLY);
        dup2(null_in, STDIN_FILENO);
        for (const auto& [name, value] : options.env) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(executable.c_str()));
        for (const std::string& arg : options.args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(executable.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);

    const auto start = std::chrono::steady_clock::now();
    bool out_open = true;
    bool err_open = true;
    bool term_sent = false;
    while (out_open || err_open) {
        pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
        poll(fds, 2, 50);
        if (out_open && (fds[0].revents & (POLLIN | POLLHUP)) != 0) drain(out_pipe[0], result.out, out_open);
        if (err_open && (fds[1].revents & (POLLIN | POLLHUP)) != 0) drain(err_pipe[0], result.err, err_open);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!term_sent && options.send_sigterm_after >= 0.0 && elapsed >= options.send_sigterm_after) {
            kill(pid, SIGTERM);
            term_sent = true;
        }
        if (elapsed > options.timeout_seconds) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

}  // namespace gf::testing

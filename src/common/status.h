// The result of an operation that can fail. Returned by value and marked
// [[nodiscard]], so a caller that drops an error gets a compiler warning.
// Every fallible function of the show returns one; the program turns the
// last one into its line on stderr (report) and its exit code (exit_code).
#pragma once

#include <string>
#include <utility>

namespace gf {

// The program's exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;          // options that cannot work together or with the data
constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as a shell reports Ctrl+C

// What a failure ends the program with.
enum class Failure : unsigned char {
    Error,        // the work could not be done: kExitFailure
    Usage,        // the options asked for something that cannot be done: kExitUsage
    Interrupted,  // a stop signal ended the work: kExitInterrupted
};

struct [[nodiscard]] Status {
    bool ok = true;
    std::string message;  // on failure, one line naming the file, device or option and the problem
    Failure failure = Failure::Error;
};

// A failure whose message is `message`.
inline Status failed(std::string message, Failure failure = Failure::Error) {
    return {false, std::move(message), failure};
}

// A failure about a file (or folder, or device): "FILE: what". The one place a
// message is given the name of what it is about.
inline Status failed_on(const std::string& file, const std::string& what) { return {false, file + ": " + what}; }

// The exit code of a run that ended with `status`.
int exit_code(const Status& status);

// `message` as the program says it: "glimmerfrost: MESSAGE".
std::string report_line(const std::string& message);

// Writes report_line(message) as one line on stderr.
void report(const std::string& message);

// Reports a failure and gives its exit code (kExitOk, saying nothing, for success).
int report_failure(const Status& status);

}  // namespace gf

// How a Status ends the program: its line on stderr and its exit code.
#include "common/status.h"

#include <iostream>

namespace gf {

int exit_code(const Status& status) {
    if (status.ok) {
        return kExitOk;
    }
    switch (status.failure) {
        case Failure::Usage:
            return kExitUsage;
        case Failure::Interrupted:
            return kExitInterrupted;
        case Failure::Error:
            break;
    }
    return kExitFailure;
}

std::string report_line(const std::string& message) { return "glimmerfrost: " + message; }

void report(const std::string& message) { std::cerr << report_line(message) << '\n'; }

int report_failure(const Status& status) {
    if (!status.ok) {
        report(status.message);
    }
    return exit_code(status);
}

}  // namespace gf

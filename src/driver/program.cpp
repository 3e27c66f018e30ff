// run_program: the command line, the data lookup, then the show in a window,
// or a capture when asked for one or when there is no display.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <system_error>

#include "driver/capture.h"
#include "driver/data_files.h"
#include "driver/demo.h"
#include "driver/desktop_platform.h"
#include "driver/options.h"
#include "platform/display.h"

namespace gf {

namespace {

constexpr const char* kTryHelp = "Try 'glimmerfrost --help' for more information.\n";

// Says why the run cannot go on, with the pointer to --help when the options were at
// fault; the run's exit code.
int refuse(const Status& status) {
    const int code = report_failure(status);
    if (status.failure == Failure::Usage) {
        std::cerr << kTryHelp;
    }
    return code;
}

// The data files found and checked, and the start and end positions checked against the
// module; the exit code of a refusal (said on stderr), or 0.
int prepare_show(const ProgramOptions& o, DemoOptions& demo) {
    demo.start_order = o.start_order;
    demo.start_row = o.start_row;
    demo.interactive = o.display.interactive;
    demo.gentle = o.gentle;
    Status status = o.data_dir.empty() ? Status{} : check_data_dir(o.data_dir);
    if (status.ok) {
        status = find_data_files(data_search_dirs(o.data_dir), demo.files);
    }
    if (status.ok) {
        status = check_data_files(demo.files);
    }
    if (!status.ok) {
        return refuse(status);
    }
    // A start past the module's end would silently play from the beginning.
    const int orders = module_order_count(demo.files.module);
    demo.order_count = orders;
    if (o.start_given) {
        if (const Status start = check_position(demo.files.module, orders, demo.start_order, demo.start_row);
            !start.ok) {
            return refuse(failed("option --start: " + start.message, Failure::Usage));
        }
    }
    if (o.capture.end_given && orders >= 0 && o.capture.end_order >= static_cast<uint32_t>(orders)) {
        return refuse(failed("option --end: order " + std::to_string(o.capture.end_order) +
                                 " is past the last order of " + demo.files.module + " (" + std::to_string(orders - 1) +
                                 ")",
                             Failure::Usage));
    }
    return 0;
}

// With no display the show is rendered to the next free glimmerfrost.mp4 here instead,
// unless it was asked to be interactive; `reason` says why there is no display.
int capture_without_display(const ProgramOptions& o, const DemoOptions& demo, const std::string& reason) {
    if (o.display.interactive) {
        return refuse(failed("option --interactive needs a window, and no display was found (" + reason + ")"));
    }
    // The video's rate is checked before the line that says a video is being made.
    if (!is_video_frame_rate(o.capture.fps_num, o.capture.fps_den)) {
        return refuse(
            failed("option --fps: with no display the show is rendered to a video, which is made "
                   "at 24 to 240 frames per second or at 23.976, 29.97, 59.94 or 119.88",
                   Failure::Usage));
    }
    CaptureOptions capture = o.capture;
    capture.video_path = next_free_name(".", "glimmerfrost", ".mp4");
    capture.keep_existing = true;
    std::error_code ec;
    const std::filesystem::path shown = std::filesystem::absolute(capture.video_path, ec).lexically_normal();
    report("no display found (" + reason + "); rendering the show to " + (ec ? capture.video_path : shown.string()) +
           " instead (use --capture FILE to choose the name)");
    return run_capture(demo, capture);
}

int run_show(int argc, char** argv) {
    const ParsedOptions parsed = parse_options(argc, argv);
    if (!parsed.status.ok) {
        return refuse(parsed.status);
    }
    const ProgramOptions& o = parsed.options;
    if (o.action == ProgramAction::Help) {
        std::cout << usage_text();
        return 0;
    }
    if (o.action == ProgramAction::Version) {
        std::cout << "glimmerfrost " << GF_VERSION << '\n';
        return 0;
    }
    DemoOptions demo;
    if (const int refused = prepare_show(o, demo); refused != 0) {
        return refused;
    }
    if (o.action == ProgramAction::Capture) {
        return run_capture(demo, o.capture);
    }
    if (std::string reason; !display_available(&reason)) {
        return capture_without_display(o, demo, reason);
    }
    // The one line before the window opens: the show flashes, and what to do about it.
    report(o.gentle ? "gentle show: flashing is limited to at most three flashes a second"
                    : "warning: this show has fast flashing lights; if they trouble you, watch with --gentle");
    DesktopPlatform platform(o.display, o.mute ? AudioOutput::Silent : AudioOutput::Device);
    return demo_main(platform, demo);
}

// True when standard output is a pipe whose reader has gone.
bool stdout_reader_gone() {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    return poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
}

// What was printed (the usage, the benchmark's table, the viewer's lines) reached standard
// output, or the failure is said and the exit code says so. A pipe whose reader has gone
// only ends the output, as the reader wanted.
int finish_output(int code) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    const int flush_error = errno;
    const bool reader_gone = stdout_reader_gone();
    errno = 0;
    const bool closed = std::fclose(stdout) == 0;
    const int close_error = errno;
    if ((flushed && closed) || reader_gone || flush_error == EPIPE || close_error == EPIPE) {
        return code;
    }
    const int error = flush_error != 0 ? flush_error : close_error;
    report(std::string("cannot write to standard output") +
           (error != 0 ? std::string(": ") + std::strerror(error) : ""));
    return code == 0 ? kExitFailure : code;
}

}  // namespace

int run_program(int argc, char** argv) {
    // A closed pipe on standard output fails the write instead of killing the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Running out of memory anywhere on the way is said as such, in one line,
    // rather than ending in the runtime's abort.
    try {
        return finish_output(run_show(argc, argv));
    } catch (const std::bad_alloc&) {
        std::cerr << "glimmerfrost: out of memory\n";  // a literal: nothing more to allocate
        return kExitFailure;
    }
}

}  // namespace gf

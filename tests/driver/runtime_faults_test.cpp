// Faults while the show runs. Each must end through the normal shutdown: the
// window closed, SIGINT or SIGTERM (exit code 0 in a window); an interrupted
// capture keeps what was rendered (exit code 130); a full output disk or an
// output that cannot be written gives one clear line, exit code 1, and nothing
// left under the final name or beside it.
// The program runs for real, with SDL's dummy video and audio drivers standing
// in for a desktop; the window-close case runs demo_main in this process on the
// real SDL platform so that its shutdown calls can be watched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "driver/data_files.h"
#include "driver/demo.h"
#include "driver/mp4_tracks.h"
#include "driver/watched_platform.h"
#include "support/run_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Outcome {
    int exit_code = -1;
    int signal = 0;
    bool timed_out = false;
    double seconds = 0;
    std::vector<std::string> err_lines;
};

struct Launch {
    std::vector<std::string> args;
    fs::path cwd;
    int send_signal = 0;    // sent after `signal_after`
    int second_signal = 0;  // sent right after the first
    std::chrono::milliseconds signal_after{0};
    // When set, the signal also waits until the program has got this far (on a loaded
    // machine 1.5 s may pass before it has even installed its handlers).
    std::function<bool(const fs::path& cwd)> signal_when;
    rlim_t max_file_bytes = RLIM_INFINITY;  // the largest file the program may write
    std::chrono::seconds timeout{120};
    std::string x_display;    // ":N": show on that X server instead of SDL's dummy video
    pid_t signal_target = 0;  // where the signal goes (0: the program)
    int stdout_fd = -1;       // the program's standard output (-1: /dev/null)
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Starts the program with the dummy SDL drivers and no display server, optionally
// with a file-size limit (writes past it fail with EFBIG, as on a full disk), and
// optionally interrupts it with a signal.
Outcome launch(const Launch& l) {
    const fs::path err_path = l.cwd.parent_path() / (l.cwd.filename().string() + ".stderr");
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(l.cwd.c_str()) != 0) {
            _exit(126);
        }
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        if (!l.x_display.empty()) {
            setenv("DISPLAY", l.x_display.c_str(), 1);
            unsetenv("SDL_VIDEODRIVER");
        }
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null_fd = open("/dev/null", O_RDWR);
        if (err < 0 || null_fd < 0) {
            _exit(126);
        }
        dup2(null_fd, STDIN_FILENO);
        dup2(l.stdout_fd >= 0 ? l.stdout_fd : null_fd, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (l.max_file_bytes != RLIM_INFINITY) {
            // SIGXFSZ keeps its default action here: the program itself must turn the
            // over-limit write into a failure it can clean up after.
            signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{l.max_file_bytes, l.max_file_bytes};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv;
        std::string exe = GF_EXECUTABLE;
        argv.push_back(exe.data());
        std::vector<std::string> args = l.args;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    Outcome run;
    if (pid < 0) {
        ADD_FAILURE() << "fork failed";
        return run;
    }
    bool signalled = l.send_signal == 0;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        const auto elapsed = std::chrono::steady_clock::now() - started;
        if (!signalled && elapsed >= l.signal_after && (!l.signal_when || l.signal_when(l.cwd))) {
            kill(l.signal_target != 0 ? l.signal_target : pid, l.send_signal);
            if (l.second_signal != 0) {
                kill(pid, l.second_signal);
            }
            signalled = true;
        }
        if (elapsed > l.timeout) {
            run.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (WIFEXITED(status)) {
        run.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    run.err_lines = gf::testing::lines_of(slurp(err_path));
    fs::remove(err_path);
    return run;
}

// True once a capture's frames folder holds its second frame: the capture loop is running.
bool capture_drawing(const fs::path& cwd) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(cwd, ec)) {
        if (entry.path().filename().string().rfind(".frames.partial", 0) == 0 &&
            fs::exists(entry.path() / "frame_000001.png", ec)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        names.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool has_temporary(const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(),
                       [](const std::string& name) { return name.find(".partial") != std::string::npos; });
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

class RuntimeFaults : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("gf-faults-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "cwd");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!mounted_.empty()) {
            umount2(mounted_.c_str(), MNT_DETACH);
        }
        fs::remove_all(root_, ignored);
    }
    Launch base(std::vector<std::string> extra) const {
        Launch l;
        l.args = {"--data", GF_DATA_DIR};
        l.args.insert(l.args.end(), extra.begin(), extra.end());
        l.cwd = root_ / "cwd";
        return l;
    }
    // A failed capture leaves one line that says so, naming one of `names`, exit code 1 and nothing in the folder.
    void expect_failed_capture(const Outcome& run, const fs::path& dir, const std::vector<std::string>& names) {
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exit_code, 1) << joined(run.err_lines);
        ASSERT_FALSE(run.err_lines.empty());
        const std::string& last = run.err_lines.back();
        EXPECT_TRUE(std::any_of(names.begin(), names.end(), [&last](const std::string& name) {
            return last.find(name) != std::string::npos;
        })) << last;
        EXPECT_NE(last.find("no file written"), std::string::npos) << last;
        EXPECT_EQ(last.find(".partial"), std::string::npos) << "names a temporary file: " << last;
        const std::vector<std::string> left = listing(dir);
        EXPECT_TRUE(left.empty()) << "left behind: " << left.front();
    }

    fs::path root_;
    std::string mounted_;
};

// Starts Xvfb on a free display; returns its pid and sets `display`, or 0 when it cannot run.
pid_t start_xvfb(std::string& display) {
    int ready[2];
    if (pipe(ready) != 0) {
        return 0;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        const int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    // Xvfb writes the display number and a newline once it accepts clients (read to the
    // newline: closing the pipe earlier would end it); nothing comes if it cannot start.
    display = ":";
    char c = 0;
    while (pid > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
        display.push_back(c);
    }
    close(ready[0]);
    if (pid < 0 || c != '\n' || display.size() < 2) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        return 0;
    }
    return pid;
}

// The line a window show starts with.
const std::string kFlashWarning =
    "glimmerfrost: warning: this show has fast flashing lights; if they trouble you, watch with --gentle";

// SIGINT, SIGTERM and SIGHUP (the terminal closed) on a playing show: the normal shutdown, exit code 0, nothing on
// stderr but the warning of the flashing lights.
TEST_F(RuntimeFaults, SignalsEndTheWindowedShowCleanly) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        Launch l = base({"--scale", "1"});
        l.send_signal = sig;
        l.signal_after = 1500ms;
        const Outcome run = launch(l);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.signal, 0) << "ended by the signal instead of the shutdown";
        EXPECT_EQ(run.exit_code, 0) << joined(run.err_lines);
        EXPECT_EQ(run.err_lines, std::vector<std::string>{kFlashWarning}) << joined(run.err_lines);
        // It was still playing when the signal came (the show lasts about two minutes).
        EXPECT_GE(run.seconds, 1.4);
        EXPECT_LT(run.seconds, 30.0);
        EXPECT_TRUE(listing(l.cwd).empty());
    }
}

// The first SIGINT, SIGTERM or SIGHUP (a dropped ssh session) stops at the current frame and keeps
// what was rendered: a complete video with sound and pictures of the same length, the frames
// folder, one line saying how much of the show they hold, exit code 130.
TEST_F(RuntimeFaults, InterruptedCaptureKeepsWhatWasRendered) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        Launch l = base({"--capture", "show.mp4", "--frames", "frames"});
        l.send_signal = sig;
        l.signal_after = 1500ms;
        l.signal_when = capture_drawing;
        const Outcome run = launch(l);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exit_code, 130) << joined(run.err_lines);
        ASSERT_FALSE(run.err_lines.empty());
        const std::string& last = run.err_lines.back();
        EXPECT_NE(last.find("interrupted"), std::string::npos) << last;
        EXPECT_NE(last.find("show.mp4"), std::string::npos) << last;
        EXPECT_NE(last.find("of the show"), std::string::npos) << last;
        const std::string video = slurp(l.cwd / "show.mp4");
        const gf::test::Mp4Lengths lengths =
            gf::test::mp4_track_lengths(std::vector<uint8_t>(video.begin(), video.end()));
        ASSERT_TRUE(lengths.ok) << "not a complete video";
        EXPECT_GT(lengths.video_seconds, 0.0);
        EXPECT_NEAR(lengths.audio_seconds, lengths.video_seconds, 1.0 / 60.0 + 0.03) << "sound and pictures differ";
        EXPECT_TRUE(fs::exists(l.cwd / "frames" / "frames.csv"));
        EXPECT_TRUE(fs::exists(l.cwd / "frames" / "audio.wav"));
        EXPECT_FALSE(has_temporary(listing(l.cwd)));
        fs::remove_all(l.cwd);
        fs::create_directories(l.cwd);
    }
}

// A second signal while the first is being handled gives up at once, leaves nothing,
// and says so in one line.
TEST_F(RuntimeFaults, SecondSignalAbortsAndLeavesNothing) {
    Launch l = base({"--capture", "show.mp4", "--frames", "frames"});
    l.send_signal = SIGINT;
    l.second_signal = SIGTERM;
    l.signal_after = 1500ms;
    l.signal_when = capture_drawing;
    const Outcome run = launch(l);
    EXPECT_FALSE(run.timed_out);
    EXPECT_NE(run.exit_code, 0);
    ASSERT_EQ(run.err_lines.size(), 1u) << joined(run.err_lines);
    EXPECT_NE(run.err_lines.back().find("nothing was kept"), std::string::npos) << run.err_lines.back();
    const std::vector<std::string> left = listing(l.cwd);
    EXPECT_TRUE(left.empty()) << "left behind: " << left.front();
}

// A capture killed outright leaves its temporary files; the next run in that folder removes them.
TEST_F(RuntimeFaults, NextRunRemovesWhatAKilledCaptureLeft) {
    Launch killed = base({"--capture", "show.mp4", "--frames", "frames"});
    killed.send_signal = SIGKILL;
    killed.signal_after = 2000ms;
    const Outcome first = launch(killed);
    ASSERT_EQ(first.signal, SIGKILL);
    ASSERT_TRUE(has_temporary(listing(killed.cwd))) << "nothing for the next run to clean";
    const Outcome next = launch(base({"--capture", "next.mp4", "--max-frames", "6"}));
    EXPECT_EQ(next.exit_code, 0) << joined(next.err_lines);
    EXPECT_EQ(listing(killed.cwd), std::vector<std::string>{"next.mp4"});
}

// An output name is a file path, never a URL or protocol for FFmpeg.
TEST_F(RuntimeFaults, OutputNamesAreFilePathsNotProtocols) {
    fs::create_directories(root_ / "cwd" / "file:sub");
    fs::create_directories(root_ / "cwd" / "http:" / "127.0.0.1:9");
    for (const std::string name : {"take:1.mp4", "file:sub/y.mp4", "http://127.0.0.1:9/x.mkv"}) {
        SCOPED_TRACE(name);
        const Outcome run = launch(base({"--capture", name, "--max-frames", "6"}));
        EXPECT_EQ(run.exit_code, 0) << joined(run.err_lines);
        EXPECT_GT(fs::file_size(root_ / "cwd" / name), 1000u);
    }
    EXPECT_FALSE(has_temporary(listing(root_ / "cwd")));
}

// A file-size limit makes the writes fail mid-capture as a full disk does.
TEST_F(RuntimeFaults, OutputFullDuringCapture) {
    struct Case {
        std::vector<std::string> args;
        rlim_t limit;
    };
    const std::vector<Case> cases = {
        {{"--capture", "show.mp4"}, 64 * 1024},  // the video grows past it after a few frames
        {{"--frames", "frames"}, 256 * 1024},    // the WAV grows past it in a few seconds
        {{"--capture", "show.mp4", "--frames", "frames"}, 100 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Launch l = base(c.args);
        l.max_file_bytes = c.limit;
        const Outcome run = launch(l);
        // With both outputs, either may be the first to fail.
        std::vector<std::string> names = {c.args[1]};
        if (c.args.size() > 3) {
            names.push_back(c.args[3]);
        }
        expect_failed_capture(run, l.cwd, names);
    }
}

// A real full file system, when this process may mount one (root in CI).
TEST_F(RuntimeFaults, DiskFullDuringCapture) {
    const fs::path disk = root_ / "cwd";
    if (geteuid() != 0 || mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    mounted_ = disk.string();
    for (const char* mode : {"--capture", "--frames"}) {
        SCOPED_TRACE(mode);
        const std::string name = std::string(mode) == "--capture" ? "show.mp4" : "frames";
        const Outcome run = launch(base({mode, name}));
        expect_failed_capture(run, disk, {name});
    }
}

// What goes to standard output (the usage, the benchmark's table) either arrives or the
// run fails saying so; a pipe whose reader has gone just ends the output, with no SIGPIPE.
TEST_F(RuntimeFaults, StandardOutputThatCannotBeWritten) {
    const int full = open("/dev/full", O_WRONLY);
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    close(pipe_ends[0]);
    struct Case {
        std::vector<std::string> args;
        int fd;
        int exit_code;
    };
    for (const Case& c :
         {Case{{"--help"}, full, 1}, Case{{"--benchmark", "--max-frames", "3"}, full, 1},
          Case{{"--help"}, pipe_ends[1], 0}, Case{{"--benchmark", "--max-frames", "3"}, pipe_ends[1], 0}}) {
        SCOPED_TRACE(c.args[0] + (c.fd == full ? " > /dev/full" : " | closed pipe"));
        Launch l = base(c.args);
        l.stdout_fd = c.fd;
        const Outcome run = launch(l);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exit_code, c.exit_code) << joined(run.err_lines);
        if (c.exit_code != 0) {
            ASSERT_FALSE(run.err_lines.empty());
            EXPECT_EQ(run.err_lines.back(), "glimmerfrost: cannot write to standard output: No space left on device");
        }
    }
    close(full);
    close(pipe_ends[1]);
}

// Outputs that cannot be created are refused before the show starts, with the name given.
TEST_F(RuntimeFaults, UnwritableOutputRefused) {
    std::ofstream(root_ / "cwd" / "plain-file") << "x";
    ASSERT_EQ(mkfifo((root_ / "cwd" / "pipe.mp4").c_str(), 0600), 0);
    fs::create_directory(root_ / "cwd" / "empty");
    const std::vector<std::vector<std::string>> cases = {
        {"--capture", "plain-file/show.mp4"},
        {"--capture", "missing-folder/show.mp4"},
        {"--capture", "pipe.mp4"},  // a reader waiting on it would get video data
        {"--frames", "plain-file/frames"},
        {"--frames", "plain-file"},
        {"--frames", "empty/."},  // cannot be renamed into place once rendered
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1]);
        const Outcome run = launch(base(args));
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exit_code, 1) << joined(run.err_lines);
        ASSERT_EQ(run.err_lines.size(), 1u) << joined(run.err_lines);
        EXPECT_NE(run.err_lines[0].find(args[1]), std::string::npos) << run.err_lines[0];
        EXPECT_EQ(listing(root_ / "cwd"), (std::vector<std::string>{"empty", "pipe.mp4", "plain-file"}));
        EXPECT_EQ(slurp(root_ / "cwd" / "plain-file"), "x");
    }
}

// Closing the window ends the show after the frame in which it happened, and
// the shutdown runs in full, in its order, on the real platform.
TEST_F(RuntimeFaults, ClosingTheWindowRunsTheWholeShutdown) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    gf::DemoOptions options;
    ASSERT_TRUE(gf::find_data_files({GF_DATA_DIR}, options.files).ok);
    gf::DisplayOptions display;
    display.scale = 1;
    gf::testing::WatchedPlatform platform(display, gf::AudioOutput::Device);
    constexpr uint64_t kFramesBeforeClose = 20;
    platform.post_after(kFramesBeforeClose, gf::InputEvent::CloseWindow);
    EXPECT_EQ(gf::demo_main(platform, options), 0);
    // The close arrives during the update of frame 21; that frame ends the loop.
    EXPECT_EQ(platform.frames(), kFramesBeforeClose + 1);

    const std::vector<std::string>& log = platform.log();
    const auto stop = std::find(log.begin(), log.end(), "stop_music");
    ASSERT_NE(stop, log.end());
    const std::vector<std::string> shutdown(stop, log.end());
    std::vector<std::string> expected = {"stop_music"};
    expected.insert(expected.end(), 8, "release_image");
    expected.push_back("free_music");
    expected.push_back("destroy_display");
    EXPECT_EQ(shutdown, expected);
}

// The X server killed during a show without sound: Xlib's exit while the silent
// audio thread ran used to end in std::terminate (abort, exit code 134).
TEST_F(RuntimeFaults, LostDisplayDuringASilentShowEndsWithOneLine) {
    Launch l = base({"--mute", "--scale", "1"});
    const pid_t xvfb = start_xvfb(l.x_display);
    if (xvfb == 0) {
        GTEST_SKIP() << "Xvfb cannot be started here (package xvfb)";
    }
    l.send_signal = SIGKILL;
    l.signal_target = xvfb;
    l.signal_after = 3000ms;
    l.timeout = 60s;
    const Outcome run = launch(l);
    // The server is killed here too, in case the program ended before the planned loss.
    kill(xvfb, SIGKILL);
    waitpid(xvfb, nullptr, 0);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal;
    EXPECT_EQ(run.exit_code, 1) << joined(run.err_lines);
    ASSERT_EQ(run.err_lines.size(), 2u) << joined(run.err_lines);
    EXPECT_EQ(run.err_lines[0], kFlashWarning);
    EXPECT_NE(run.err_lines[1].find("display"), std::string::npos) << run.err_lines[1];
    EXPECT_TRUE(listing(l.cwd).empty());
}

// The sound device lost mid-show (SDL stops calling back, as for an unplugged
// card): the position must keep moving, or the show would freeze in its scene
// and never reach the closing fade. Started late in the second-to-last order so
// that reaching the fade takes a few seconds.
TEST_F(RuntimeFaults, LostAudioDeviceTheShowGoesOnSilently) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    gf::DemoOptions options;
    ASSERT_TRUE(gf::find_data_files({GF_DATA_DIR}, options.files).ok);
    options.start_order = 15;
    options.start_row = 96;
    gf::DisplayOptions display;
    display.scale = 1;
    gf::testing::WatchedPlatform platform(display, gf::AudioOutput::Device);
    constexpr uint64_t kLossFrame = 10;
    constexpr uint64_t kGiveUpFrame = 1500;  // about 25 s: far past the fade if the music moves
    uint32_t position_at_loss = 0;
    platform.call_after(kLossFrame, [&] {
        position_at_loss = platform.last_position();
        gf::simulate_audio_device_loss();
    });
    platform.post_after(kGiveUpFrame, gf::InputEvent::CloseWindow);
    ::testing::internal::CaptureStderr();
    const int result = gf::demo_main(platform, options);
    const std::vector<std::string> err = gf::testing::lines_of(::testing::internal::GetCapturedStderr());

    EXPECT_EQ(result, 0);
    EXPECT_EQ(position_at_loss & 0xFFFFu, 15u);
    EXPECT_LT(platform.frames(), kGiveUpFrame) << "the show stopped moving after the device was lost";
    EXPECT_EQ(platform.last_position() & 0xFFFFu, 16u) << "it should end in the closing fade";
    ASSERT_EQ(err.size(), 1u) << joined(err);
    EXPECT_NE(err[0].find("audio device was lost"), std::string::npos) << err[0];
    EXPECT_EQ(platform.log().back(), "destroy_display");
}

}  // namespace

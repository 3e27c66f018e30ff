// run_capture: the show rendered offline to a video file and/or a folder of
// frames. Files are written under exclusive temporary names beside the final
// ones and renamed only when complete. The first SIGINT, SIGTERM or SIGHUP
// stops at the current frame and keeps what was rendered as a complete file;
// a second one removes everything at once.
#include "driver/capture.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/types.h"
#include "driver/capture_benchmark.h"
#include "driver/capture_platform.h"
#include "driver/timeline.h"
#include "platform/frame_files.h"
#include "platform/music.h"
#include "platform/output_file.h"
#include "platform/progress.h"
#include "platform/video_encoder.h"

namespace gf {

namespace {

namespace fs = std::filesystem;

constexpr int kNtscDen = 1001;
constexpr int kMinVideoFps = 24;
constexpr int kMaxVideoFps = 240;
// The default video is 1280 × 800: each frame pixel a 4 × 4 block, so block edges fall on
// H.264's 4 × 4 and 8 × 8 transform grid and most blocks code as a single flat value. The 4:3
// shape of the screens of the time comes from the pixel shape stored in the file (5:6), which
// players apply; square pixels keep the same size with 1:1. The 5 × 6 blocks of 1600 × 1200
// cut across the transform grid and cost three to four times the bits for the same luma SSIM.
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 800;
// A GIF is for short clips shared where video is not: the frame's own 320 pixels across, shown
// at 4:3 (GIF viewers ignore a pixel shape) or 320 × 200 with square pixels.
constexpr int kGifHeight = 240;

// Measured on the whole show against a lossless capture of the same size, per music order:
// at 1280 × 800, ultrafast (with CABAC, see the encoder) keeps every order's luma SSIM at or
// above that of the earlier default (ultrafast crf 16 without CABAC at 1600 × 1200) from crf
// 18 down, at about a fifth of its size and half of its CPU time. Slower presets did worse on
// these pictures: superfast at crf 17 made larger files than ultrafast at crf 18, with a lower
// SSIM, in twice the CPU time.
// VP9 (.webm) fares worse on these pictures: at any constant quality it was softer than
// H.264's normal level and, on the noise scenes, larger than VP9's own lossless mode, which
// keeps every value exact at two to three and a half times normal's size. So every level
// but small is lossless in .webm; small (crf 30) is smaller than normal on still scenes and
// visibly softer.
const std::vector<QualityLevel> kQualityLevels = {
    {"normal", "ultrafast", 18, 0},   // the default: small, and as sharp as the old 1600 × 1200 captures
    {"small", "ultrafast", 22, 30},   // for sharing where size matters: a little softer
    {"high", "ultrafast", 14, 0},     // sharper still, a third larger than normal
    {"lossless", "ultrafast", 0, 0},  // every luma value exact; very large
};

const char* const kX264Presets[] = {"ultrafast", "superfast", "veryfast", "faster",  "fast",
                                    "medium",    "slow",      "slower",   "veryslow"};

constexpr uint32_t kMaxOrder = 255;  // past any order a module holds: its end

std::string absolute_name(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return ec ? path.string() : absolute.lexically_normal().string();
}

double wall_now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// The first stop signal asks the capture to finish at the current frame; a second
// one removes the temporary outputs and ends the process at once.
std::atomic<bool> s_interrupted{false};
std::atomic<int> s_stop_signals{0};        // lock-free, so safe in the handler
std::atomic<bool> s_progress_live{false};  // a progress bar may stand on the line
// Set while the encoder flushes and the files are finished: the frames are all drawn, so a
// first signal changes nothing there, and it is said so.
std::atomic<bool> s_finishing{false};

extern "C" void on_stop_signal(int sig) {
    if (s_stop_signals.fetch_add(1) > 0) {
        remove_abort_outputs_now();
        // One line, written with write(2), the only output a handler may make.
        constexpr char kClearBar[] = "\r\x1b[K";
        constexpr char kLine[] = "glimmerfrost: stopped at once by a second signal; nothing was kept\n";
        if (s_progress_live.load()) {
            [[maybe_unused]] const ssize_t cleared = write(STDERR_FILENO, kClearBar, sizeof kClearBar - 1);
        }
        [[maybe_unused]] const ssize_t said = write(STDERR_FILENO, kLine, sizeof kLine - 1);
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        _exit(128 + sig);
    }
    s_interrupted.store(true);
    if (s_finishing.load()) {
        static const char kFinishing[] =
            "\nglimmerfrost: every frame is rendered and the file is being finished; "
            "press Ctrl+C again to stop at once and keep nothing\n";
        const ssize_t ignored = write(STDERR_FILENO, kFinishing, sizeof kFinishing - 1);
        static_cast<void>(ignored);
    }
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

class SignalGuard {
public:
    SignalGuard() {
        s_interrupted.store(false);
        s_stop_signals.store(0);
        s_progress_live.store(stderr_is_terminal());
        s_finishing.store(false);
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
            sigaction(kStopSignals[i], &action, &old_[i]);
        }
        // Past the file-size limit a write must fail with EFBIG, so the capture can clean up,
        // rather than the signal killing the process with the partial file in place.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &old_xfsz_);
    }
    ~SignalGuard() {
        clear_abort_outputs();
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
            sigaction(kStopSignals[i], &old_[i], nullptr);
        }
        sigaction(SIGXFSZ, &old_xfsz_, nullptr);
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

private:
    struct sigaction old_[std::size(kStopSignals)]{};
    struct sigaction old_xfsz_ {};
};

// Threads started while this lives (the encoder's) never take the stop signals, so the
// handler always runs on the thread that owns the outputs.
class StopSignalsBlocked {
public:
    StopSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (const int sig : kStopSignals) {
            sigaddset(&set, sig);
        }
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

private:
    sigset_t old_{};
};

// Outputs under their temporary names; removed unless committed.
struct Outputs {
    fs::path video_final;
    fs::path video_temp;
    fs::path frames_final;
    fs::path frames_temp;
    std::unique_ptr<VideoEncoder> video;
    std::unique_ptr<FrameFolderWriter> frames;
    Status error;  // the first failure of a sink
    // Locks that mark the temporary outputs as live for other runs' clean-up.
    int video_lock = -1;
    int frames_lock = -1;

    // `status` with the outputs named by their final names: the user knows only those.
    Status user_status(Status status) const {
        status.message =
            with_final_name(with_final_name(status.message, video_temp, video_final), frames_temp, frames_final);
        return status;
    }

    ~Outputs() { discard(); }

    void discard() {
        video.reset();
        frames.reset();
        std::error_code ignored;
        if (!video_temp.empty()) {
            fs::remove(video_temp, ignored);
            video_temp.clear();
        }
        if (!frames_temp.empty()) {
            fs::remove_all(frames_temp, ignored);
            frames_temp.clear();
        }
        release(video_lock);
        release(frames_lock);
        clear_abort_outputs();
    }

    static void release(int& lock) {
        if (lock >= 0) {
            close(lock);
            lock = -1;
        }
    }
};

// Removes what killed runs left in `folder`, saying so.
void clean_stale(const fs::path& final_path) {
    const fs::path folder = final_path.parent_path();
    const int removed = remove_stale_temporaries(folder);
    if (removed > 0) {
        report("removed " + std::to_string(removed) + " unfinished output" + (removed == 1 ? "" : "s") +
               " of an earlier run from " + absolute_name(folder.empty() ? fs::path(".") : folder));
    }
}

VideoSettings video_settings(const CaptureOptions& capture, const FrameRate& rate) {
    VideoSettings settings;
    settings.fps_num = rate.num;
    settings.fps_den = rate.den;
    const VideoContainer* container = find_video_container(without_trailing_separator(capture.video_path).string());
    const bool gif = container != nullptr && container->codecs == VideoCodecs::Gif;
    settings.width = capture.width > 0 ? capture.width : gif ? kScreenWidth : kDefaultWidth;
    settings.height = capture.height > 0 ? capture.height
                      : gif              ? (capture.square_pixels ? kScreenHeight : kGifHeight)
                                         : kDefaultHeight;
    // Pixel shape that shows the frame at its intended shape: 4:3, or 320:200 for square pixels.
    const int shape_w = capture.square_pixels ? kScreenWidth : 4;
    const int shape_h = capture.square_pixels ? kScreenHeight : 3;
    int num = shape_w * settings.height;
    int den = shape_h * settings.width;
    const int common = std::gcd(num, den);
    settings.pixel_aspect_num = num / common;
    settings.pixel_aspect_den = den / common;
    if (const QualityLevel* level = find_quality_level(capture.quality)) {
        settings.preset = level->preset;
        settings.crf = level->crf;
        settings.vp9_crf = level->vp9_crf;
    }
    if (!capture.preset.empty()) {
        settings.preset = capture.preset;
    }
    if (capture.crf >= 0) {
        settings.crf = capture.crf;
        settings.vp9_crf = capture.crf;
    }
    settings.audio = !capture.mute;
    return settings;
}

Status open_video(const CaptureOptions& capture, const FrameRate& rate, Outputs& out) {
    out.video_final = without_trailing_separator(capture.video_path);
    if (Status target = check_file_target(out.video_final, capture.video_path); !target.ok) {
        return target;
    }
    clean_stale(out.video_final);
    int fd = -1;
    if (const Status created = create_temporary_file(out.video_final, out.video_temp, fd, out.video_lock);
        !created.ok) {
        return failed_on(capture.video_path, created.message);
    }
    register_abort_file(out.video_temp);
    out.video = std::make_unique<VideoEncoder>();
    const StopSignalsBlocked blocked;
    return out.video->open(fd, out.video_final.string(), video_settings(capture, rate));
}

Status open_frames(const CaptureOptions& capture, Outputs& out) {
    out.frames_final = without_trailing_separator(capture.frames_dir);
    if (Status target = check_folder_target(out.frames_final, capture.frames_dir); !target.ok) {
        return target;
    }
    clean_stale(out.frames_final);
    if (const Status created = create_temporary_folder(out.frames_final, out.frames_temp, out.frames_lock);
        !created.ok) {
        return failed_on(capture.frames_dir, created.message);
    }
    register_abort_folder(out.frames_temp);
    out.frames = std::make_unique<FrameFolderWriter>();
    if (const Status opened = out.frames->open(out.frames_temp.string(), kMixRate, !capture.mute); !opened.ok) {
        return failed_on(capture.frames_dir, opened.message);
    }
    return {};
}

Status open_outputs(const CaptureOptions& capture, const FrameRate& rate, Outputs& out) {
    if (!capture.video_path.empty()) {
        if (Status opened = open_video(capture, rate, out); !opened.ok) {
            return opened;
        }
    }
    if (!capture.frames_dir.empty()) {
        return open_frames(capture, out);
    }
    return {};
}

// Finishes the files and moves them to their final names.
Status commit_outputs(Outputs& out, bool keep_existing) {
    if (out.video) {
        if (Status finished = out.video->finish(); !finished.ok) {
            return finished;
        }
        out.video.reset();
        if (Status moved = keep_existing ? claim_free_name(out.video_temp, out.video_final)
                                         : move_into_place(out.video_temp, out.video_final);
            !moved.ok) {
            return moved;
        }
        out.video_temp.clear();
        Outputs::release(out.video_lock);
    }
    if (out.frames) {
        if (Status finished = out.frames->finish(); !finished.ok) {
            return finished;
        }
        out.frames.reset();
        // Replaces an empty folder.
        if (Status moved = move_into_place(out.frames_temp, out.frames_final); !moved.ok) {
            return moved;
        }
        out.frames_temp.clear();
        Outputs::release(out.frames_lock);
    }
    clear_abort_outputs();
    return {};
}

// From 1 to 1000 frames a second. Slower, a single frame's interval of sound (days of it
// at 1/1000000) would not fit in memory, and every frame after the first would lie past
// the 30 minutes a capture may last.
bool valid_rate(const CaptureOptions& capture) {
    return capture.fps_num > 0 && capture.fps_den > 0 && capture.fps_num >= capture.fps_den &&
           capture.fps_num <= 1000 * capture.fps_den;
}

// The outputs by their absolute paths, the names a user can open from anywhere.
std::string written_names(const Outputs& out) {
    std::string written;
    if (!out.video_final.empty()) {
        written += absolute_name(out.video_final);
    }
    if (!out.frames_final.empty()) {
        written += (written.empty() ? "" : " and ") + absolute_name(out.frames_final) + "/";
    }
    return written;
}

// Seconds of music the capture will render: from the start to --end, or to the end of
// the closing fade.
double clip_seconds(const DemoOptions& demo, const CaptureOptions& capture) {
    const std::string& module = demo.files.module;
    if (capture.end_given) {
        return music_seconds_between(module, demo.start_order, demo.start_row, capture.end_order, capture.end_row);
    }
    if (demo.start_order >= kClosingOrder || static_cast<int64_t>(kClosingOrder) >= demo.order_count) {
        return music_seconds_between(module, demo.start_order, demo.start_row, kMaxOrder, 0);
    }
    const double to_fade = music_seconds_between(module, demo.start_order, demo.start_row, kClosingOrder, 0);
    return to_fade > 0 ? to_fade + static_cast<double>(kClosingFadeMs) / 1000.0 : 0.0;
}

// The options a capture cannot be made with, named as they were given.
Status check_capture_options(const CaptureOptions& capture) {
    if (!valid_rate(capture)) {
        return failed("--fps: " + std::to_string(capture.fps_num) + "/" + std::to_string(capture.fps_den) +
                          " is not a frame rate from 1 to 1000",
                      Failure::Usage);
    }
    if (!capture.video_path.empty() && !is_video_frame_rate(capture.fps_num, capture.fps_den)) {
        return failed("--fps: a video is made at 24 to 240 frames per second or at 23.976, 29.97, 59.94 or 119.88",
                      Failure::Usage);
    }
    if (find_quality_level(capture.quality) == nullptr) {
        return failed("--quality: '" + capture.quality + "' is not a quality level", Failure::Usage);
    }
    return {};
}

// One capture into its opened outputs: the show run on the offline platform, each frame and
// each stretch of sound written as it comes, the progress shown, and the outcome said.
class CaptureRun {
public:
    CaptureRun(const DemoOptions& demo, const CaptureOptions& capture, const FrameRate& rate, Outputs& out)
        : demo_(demo),
          capture_(capture),
          rate_(rate),
          out_(out),
          progress_(stderr_is_terminal()),
          total_seconds_(clip_seconds(demo, capture)),  // the show still to render, from the start position
          started_(wall_now()) {}

    // Renders the show and gives the exit code.
    int render() {
        CaptureSink sink;
        sink.frame = [this](const CapturedFrame& frame) { return take_frame(frame); };
        sink.audio = [this](const int16_t* samples, std::size_t frames) { return take_audio(samples, frames); };
        CapturePlatform platform(rate_, sink, capture_.max_frames, &s_interrupted);
        if (capture_.end_given) {
            platform.set_end_position(ClipEnd{capture_.end_order, capture_.end_row});
        }
        platform.start_at(demo_.start_order, demo_.start_row);
        const int result = demo_main(platform, from_the_start(demo_));
        return conclude(platform, result);
    }

private:
    // False, keeping the failure, when a sink has failed.
    bool kept(Status status) {
        if (!status.ok) {
            out_.error = std::move(status);
            return false;
        }
        return true;
    }

    bool take_frame(const CapturedFrame& frame) {
        if (frame.ms >= capture_.max_show_ms) {
            limit_reached_ = true;
            return false;
        }
        if (out_.video && !kept(out_.video->add_frame(frame.pixels))) {
            return false;
        }
        if (out_.frames && !kept(out_.frames->add_frame(frame.index, frame.ms, frame.order, frame.row, frame.pixels))) {
            return false;
        }
        if (frame.index == 0) {
            first_ms_ = frame.ms;
        }
        ProgressSnapshot snapshot;
        snapshot.frames = frame.index + 1;
        snapshot.show_seconds = static_cast<double>(frame.ms - first_ms_) / 1000.0;
        snapshot.total_seconds = total_seconds_;
        snapshot.order = frame.order;
        snapshot.row = frame.row;
        snapshot.wall_seconds = wall_now() - started_;
        progress_.update(snapshot);
        return true;
    }

    bool take_audio(const int16_t* samples, std::size_t frames) {
        return (!out_.video || kept(out_.video->add_audio(samples, frames))) &&
               (!out_.frames || kept(out_.frames->add_audio(samples, frames)));
    }

    // Clears the progress bar, says how the capture ended and gives its exit code.
    int end_with(const Status& status) {
        progress_.finish(report_line(status.message));
        return exit_code(status);
    }

    // After the show: the files finished and moved into place, or the failure said.
    int conclude(const CapturePlatform& platform, int result) {
        const bool interrupted = platform.stop_reason() == CaptureStop::Interrupted;
        if (result != kExitOk) {
            progress_.finish(report_line("capture abandoned; no file written"));
            return result;
        }
        if (platform.stop_reason() == CaptureStop::OutputFailed && !limit_reached_) {
            return end_with(failed(out_.user_status(out_.error).message + "; no file written"));
        }
        if (platform.stop_reason() == CaptureStop::MusicEnded) {
            report("the music ended without the closing fade; the capture stops one second after its end");
        }
        if (platform.frames() == 0) {
            return end_with(interrupted
                                ? failed("interrupted before the first frame; no file written", Failure::Interrupted)
                                : failed("the show drew no frame; no file written"));
        }
        // Frames refused at the limit were not written; what was is a complete show up to there.
        const uint64_t kept_frames = limit_reached_ ? platform.frames() - 1 : platform.frames();
        // The encoder's flush (and all of a GIF's encoding) happens here; it counts in the time taken.
        s_finishing.store(true);
        const Status committed = commit_outputs(out_, capture_.keep_existing);
        s_finishing.store(false);
        if (!committed.ok) {
            return end_with(failed(out_.user_status(committed).message + "; no file written"));
        }
        return summarise(platform, kept_frames, interrupted);
    }

    // The line that names what was written and how much of the show it holds.
    int summarise(const CapturePlatform& platform, uint64_t kept_frames, bool interrupted) {
        const double elapsed = wall_now() - started_;
        const uint64_t first = platform.first_shown();
        const std::string kept = format_minutes(
            static_cast<double>(frame_start_ms(first + kept_frames, rate_) - frame_start_ms(first, rate_)) / 1000.0);
        const std::string written = written_names(out_);
        const char* verb = out_.video_final.empty() || out_.frames_final.empty() ? " holds" : " hold";
        if (interrupted) {
            return end_with(
                failed("interrupted; " + written + verb + " the first " + kept + " of the show (" +
                           std::to_string(kept_frames) + " frames" +
                           (total_seconds_ > 0 ? " of about " + format_minutes(total_seconds_) : std::string()) + ")",
                       Failure::Interrupted));
        }
        if (limit_reached_) {
            return end_with(failed(
                "the show did not end within " + format_minutes(static_cast<double>(capture_.max_show_ms) / 1000.0) +
                " (the music plays on); the capture stops there: " + written + verb + " the first " + kept));
        }
        char rate[64];
        std::snprintf(rate, sizeof rate, "%.0f", elapsed > 0 ? static_cast<double>(kept_frames) / elapsed : 0.0);
        progress_.finish(report_line(std::to_string(kept_frames) + " frames (" + kept + " of show at " +
                                     rate_text(rate_) + " fps) in " + format_minutes(elapsed) + ", " + rate +
                                     " frames/s: " + written));
        return kExitOk;
    }

    const DemoOptions& demo_;
    const CaptureOptions& capture_;
    const FrameRate rate_;
    Outputs& out_;
    ProgressDisplay progress_;
    const double total_seconds_;
    const double started_;
    bool limit_reached_ = false;
    uint64_t first_ms_ = 0;  // the show's time of the first frame written
};

}  // namespace

const std::vector<QualityLevel>& quality_levels() { return kQualityLevels; }

const QualityLevel* find_quality_level(const std::string& name) {
    if (name.empty()) {
        return &kQualityLevels.front();
    }
    for (const QualityLevel& level : kQualityLevels) {
        if (name == level.name) {
            return &level;
        }
    }
    return nullptr;
}

bool is_x264_preset(const std::string& name) {
    return std::find(std::begin(kX264Presets), std::end(kX264Presets), name) != std::end(kX264Presets);
}

bool is_video_frame_rate(int num, int den) {
    if (den == kNtscDen) {
        return num == 24000 || num == 30000 || num == 60000 || num == 120000;
    }
    return den > 0 && num % den == 0 && num / den >= kMinVideoFps && num / den <= kMaxVideoFps;
}

int run_capture(const DemoOptions& demo, const CaptureOptions& capture) {
    if (const Status usable = check_capture_options(capture); !usable.ok) {
        return report_failure(usable);
    }
    const FrameRate rate{capture.fps_num, capture.fps_den};
    SignalGuard signals;
    if (capture.benchmark) {
        return run_benchmark(
            demo, rate, capture.max_frames, &s_interrupted,
            capture.end_given ? std::optional<ClipEnd>(ClipEnd{capture.end_order, capture.end_row}) : std::nullopt,
            capture.max_show_ms);
    }
    if (capture.video_path.empty() && capture.frames_dir.empty()) {
        return report_failure(failed("nothing to capture: give --capture FILE, --frames DIR or --benchmark"));
    }
    Outputs out;
    if (Status opened = open_outputs(capture, rate, out); !opened.ok) {
        return report_failure(out.user_status(std::move(opened)));
    }
    CaptureRun run(demo, capture, rate, out);
    return run.render();
}

}  // namespace gf

// run_capture: the show rendered offline to a video file and/or a folder of
// frames, or timed with no output (--benchmark). Files are written under
// temporary names beside the final ones and renamed only when complete.
#include "driver/capture.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/frame_globals.h"
#include "common/types.h"
#include "driver/capture_platform.h"
#include "platform/frame_files.h"
#include "platform/music.h"
#include "platform/progress.h"
#include "platform/video_encoder.h"

namespace gf {

namespace {

namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kScale4by3X = 5;  // 1600 × 1200: 4:3 in whole pixels
constexpr int kScale4by3Y = 6;
constexpr int kScaleSquare = 4;  // 1280 × 800
constexpr uint32_t kOrderCount = 17;  // orders 0..16 have scenes
constexpr int kMemcpyBatches = 31;
constexpr int kMemcpyPerBatch = 100;

void report(const std::string& message) { std::cerr << "glimmerfrost: " << message << '\n'; }

double wall_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// SIGINT / SIGTERM during a capture: finish the pass, then stop and clean up.
std::atomic<bool> s_interrupted {false};
extern "C" void on_stop_signal(int) { s_interrupted.store(true); }

class SignalGuard {
public:
    SignalGuard() {
        s_interrupted.store(false);
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &old_int_);
        sigaction(SIGTERM, &action, &old_term_);
        // Past the file-size limit a write must fail with EFBIG, so the capture can clean up,
        // rather than the signal killing the process with the partial file in place.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &old_xfsz_);
    }
    ~SignalGuard() {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
        sigaction(SIGXFSZ, &old_xfsz_, nullptr);
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
    struct sigaction old_xfsz_ {};
};

// The path without a trailing separator ("frames/" names the folder "frames").
fs::path without_trailing_separator(const std::string& text) {
    fs::path path(text);
    while (!path.has_filename() && path.has_relative_path()) {
        path = path.parent_path();
    }
    return path;
}

// A temporary name in the same folder as `final_path` (so the rename is atomic).
fs::path temporary_beside(const fs::path& final_path) {
    fs::path folder = final_path.parent_path();
    std::string name = ".";
    name += final_path.filename().string();
    name += ".partial-";
    name += std::to_string(getpid());
    return folder.empty() ? fs::path(name) : folder / name;
}

// `message` with every mention of a temporary name replaced by the final one:
// the user knows only the names they gave.
std::string with_final_names(std::string message, const fs::path& temp, const fs::path& final_path) {
    const std::string from = temp.string();
    const std::string to = final_path.string();
    if (from.empty()) {
        return message;
    }
    for (std::size_t at = message.find(from); at != std::string::npos; at = message.find(from, at + to.size())) {
        message.replace(at, from.size(), to);
    }
    return message;
}

// Outputs under their temporary names; removed unless committed.
struct Outputs {
    fs::path video_final;
    fs::path video_temp;
    fs::path frames_final;
    fs::path frames_temp;
    std::unique_ptr<VideoEncoder> video;
    std::unique_ptr<FrameFolderWriter> frames;
    std::string error;  // the first failure of a sink

    std::string user_message(const std::string& message) const {
        return with_final_names(with_final_names(message, video_temp, video_final), frames_temp, frames_final);
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
    }
};

std::optional<std::string> open_outputs(const CaptureOptions& capture, const FrameRate& rate, Outputs& out) {
    if (!capture.video_path.empty()) {
        out.video_final = without_trailing_separator(capture.video_path);
        std::error_code ec;
        if (fs::is_directory(out.video_final, ec)) {
            return capture.video_path + ": is a folder, not a video file name";
        }
        out.video_temp = temporary_beside(out.video_final);
        VideoSettings settings;
        settings.fps_num = rate.num;
        settings.fps_den = rate.den;
        settings.width = kScreenWidth * (capture.square_pixels ? kScaleSquare : kScale4by3X);
        settings.height = kScreenHeight * (capture.square_pixels ? kScaleSquare : kScale4by3Y);
        out.video = std::make_unique<VideoEncoder>();
        const VideoStatus status = out.video->open(out.video_temp.string(), capture.video_path, settings);
        if (!status.ok) {
            // The encoder names the temporary file; the user knows only the final name.
            std::string message = status.message;
            const std::string temp = out.video_temp.string();
            if (message.rfind(temp, 0) == 0) {
                message = capture.video_path + message.substr(temp.size());
            }
            return message;
        }
    }
    if (!capture.frames_dir.empty()) {
        out.frames_final = without_trailing_separator(capture.frames_dir);
        std::error_code ec;
        const fs::file_status state = fs::status(out.frames_final, ec);
        if (fs::exists(state)) {
            if (!fs::is_directory(state)) {
                return capture.frames_dir + ": exists and is not a folder";
            }
            if (!fs::is_empty(out.frames_final, ec)) {
                return capture.frames_dir + ": folder is not empty (frames are written only into a new or empty folder)";
            }
        }
        out.frames_temp = temporary_beside(out.frames_final);
        if (!fs::create_directory(out.frames_temp, ec)) {
            const std::string why = ec ? ec.message() : "already exists";
            out.frames_temp.clear();
            return capture.frames_dir + ": cannot create a folder beside it: " + why;
        }
        out.frames = std::make_unique<FrameFolderWriter>();
        const FileStatus status = out.frames->open(out.frames_temp.string(), kMixRate);
        if (!status.ok) {
            return capture.frames_dir + ": " + status.message;
        }
    }
    return std::nullopt;
}

// Finishes the files and moves them to their final names.
std::optional<std::string> commit_outputs(Outputs& out) {
    if (out.video) {
        const VideoStatus status = out.video->finish();
        if (!status.ok) {
            return out.video_final.string() + ": " + status.message;
        }
        out.video.reset();
        std::error_code ec;
        fs::rename(out.video_temp, out.video_final, ec);
        if (ec) {
            return out.video_final.string() + ": cannot rename the finished video into place: " + ec.message();
        }
        out.video_temp.clear();
    }
    if (out.frames) {
        const FileStatus status = out.frames->finish();
        if (!status.ok) {
            return status.message;
        }
        out.frames.reset();
        std::error_code ec;
        fs::rename(out.frames_temp, out.frames_final, ec);  // replaces an empty folder
        if (ec) {
            return out.frames_final.string() + ": cannot rename the finished folder into place: " + ec.message();
        }
        out.frames_temp.clear();
    }
    return std::nullopt;
}

bool valid_rate(const CaptureOptions& capture) {
    return capture.fps_num > 0 && capture.fps_den > 0 && capture.fps_num <= 1000 * capture.fps_den;
}

std::string rate_text(const FrameRate& rate) {
    if (rate.den == 1) {
        return std::to_string(rate.num);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(rate.num) / rate.den);
    return text;
}

// Seconds for one 256000-byte memcpy between two frames, the median of batches.
double time_frame_copy() {
    std::vector<PixelBuffer> frames(2);
    for (int i = 0; i < kScreenPixels; ++i) {
        frames[0].pixels[i] = static_cast<uint32_t>(i) * 2654435761u;
    }
    std::array<double, kMemcpyBatches> batches {};
    for (double& batch : batches) {
        const double started = wall_now();
        for (int i = 0; i < kMemcpyPerBatch; ++i) {
            std::memcpy(frames[(i + 1) & 1].pixels, frames[i & 1].pixels, kFrameBytes);
            // Keeps the copies from being folded away.
            asm volatile("" : : "r"(frames[0].pixels), "r"(frames[1].pixels) : "memory");
        }
        batch = (wall_now() - started) / kMemcpyPerBatch;
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

struct OrderCost {
    uint64_t frames = 0;
    double seconds = 0;
};

int run_benchmark(const DemoOptions& demo, const FrameRate& rate, uint64_t max_frames) {
    const double copy_seconds = time_frame_copy();
    std::array<OrderCost, kOrderCount + 1> orders {};  // the last: positions with no scene
    CaptureSink sink;
    sink.frame = [&](const CapturedFrame& frame) {
        OrderCost& cost = orders[std::min(frame.order, kOrderCount)];
        ++cost.frames;
        cost.seconds += frame.draw_seconds;
        return true;
    };
    SignalGuard signals;
    CapturePlatform platform(rate, sink, max_frames, &s_interrupted);
    const double started = wall_now();
    const int result = demo_main(platform, demo);
    const double elapsed = wall_now() - started;
    if (result != kExitOk) {
        return result;
    }
    if (platform.stop_reason() == CaptureStop::Interrupted) {
        report("benchmark interrupted");
        return kExitFailure;
    }

    std::printf("Glimmerfrost benchmark: %llu frames at %s fps; one 256000-byte memcpy takes %.1f us\n",
                static_cast<unsigned long long>(platform.frames()), rate_text(rate).c_str(), copy_seconds * 1e6);
    std::printf("%6s %8s %12s %12s %14s\n", "order", "frames", "ms/frame", "frames/s", "memcpys/frame");
    OrderCost total;
    uint32_t heaviest = 0;
    double heaviest_cost = -1;
    for (uint32_t order = 0; order <= kOrderCount; ++order) {
        const OrderCost& cost = orders[order];
        if (cost.frames == 0) {
            continue;
        }
        const double per_frame = cost.seconds / static_cast<double>(cost.frames);
        const double copies = per_frame / copy_seconds;
        if (order < kOrderCount && copies > heaviest_cost) {
            heaviest_cost = copies;
            heaviest = order;
        }
        total.frames += cost.frames;
        total.seconds += cost.seconds;
        const std::string label = order < kOrderCount ? std::to_string(order) : "none";
        std::printf("%6s %8llu %12.3f %12.0f %14.1f\n", label.c_str(), static_cast<unsigned long long>(cost.frames),
                    per_frame * 1e3, per_frame > 0 ? 1.0 / per_frame : 0.0, copies);
    }
    if (total.frames > 0) {
        const double per_frame = total.seconds / static_cast<double>(total.frames);
        std::printf("%6s %8llu %12.3f %12.0f %14.1f\n", "all", static_cast<unsigned long long>(total.frames),
                    per_frame * 1e3, per_frame > 0 ? 1.0 / per_frame : 0.0, per_frame / copy_seconds);
        std::printf("heaviest: order %u at %.1f memcpys a frame; music mixing %.3f ms a frame; whole run %.2f s\n",
                    heaviest, heaviest_cost, platform.mixing_seconds() * 1e3 / static_cast<double>(total.frames),
                    elapsed);
    }
    if (platform.stop_reason() == CaptureStop::MusicEnded) {
        report("the music ended without the closing fade; stopped one second after its end");
    }
    return kExitOk;
}

}  // namespace

int run_capture(const DemoOptions& demo, const CaptureOptions& capture) {
    if (!valid_rate(capture)) {
        report("--fps: " + std::to_string(capture.fps_num) + "/" + std::to_string(capture.fps_den) +
               " is not a frame rate from 1 to 1000");
        return kExitFailure;
    }
    const FrameRate rate {capture.fps_num, capture.fps_den};
    if (capture.benchmark) {
        return run_benchmark(demo, rate, capture.max_frames);
    }
    if (capture.video_path.empty() && capture.frames_dir.empty()) {
        report("nothing to capture: give --capture FILE, --frames DIR or --benchmark");
        return kExitFailure;
    }

    // From here an interrupt removes whatever has been created.
    SignalGuard signals;
    Outputs out;
    if (const auto error = open_outputs(capture, rate, out)) {
        report(*error);
        return kExitFailure;
    }

    ProgressDisplay progress(stderr_is_terminal());
    double total_seconds = -1;  // the module's length, known once it is loaded
    const double started = wall_now();
    CaptureSink sink;
    sink.frame = [&](const CapturedFrame& frame) {
        if (out.video) {
            const VideoStatus status = out.video->add_frame(frame.pixels);
            if (!status.ok) {
                out.error = status.message;
                return false;
            }
        }
        if (out.frames) {
            const FileStatus status = out.frames->add_frame(frame.index, frame.ms, frame.order, frame.row, frame.pixels);
            if (!status.ok) {
                out.error = status.message;
                return false;
            }
        }
        if (total_seconds < 0) {
            // The module's length is the show's only from its beginning; from elsewhere it is unknown.
            const bool from_start = demo.start_order == 0 && demo.start_row == 0;
            total_seconds = from_start ? module_duration_seconds() : 0.0;
        }
        ProgressSnapshot snapshot;
        snapshot.frames = frame.index + 1;
        snapshot.show_seconds = static_cast<double>(frame.ms) / 1000.0;
        snapshot.total_seconds = total_seconds;
        snapshot.order = frame.order;
        snapshot.row = frame.row;
        snapshot.wall_seconds = wall_now() - started;
        progress.update(snapshot);
        return true;
    };
    sink.audio = [&](const int16_t* samples, std::size_t frames) {
        if (out.video) {
            const VideoStatus status = out.video->add_audio(samples, frames);
            if (!status.ok) {
                out.error = status.message;
                return false;
            }
        }
        if (out.frames) {
            const FileStatus status = out.frames->add_audio(samples, frames);
            if (!status.ok) {
                out.error = status.message;
                return false;
            }
        }
        return true;
    };

    CapturePlatform platform(rate, sink, capture.max_frames, &s_interrupted);
    const int result = demo_main(platform, demo);
    const double elapsed = wall_now() - started;
    if (result != kExitOk) {
        progress.finish("glimmerfrost: capture abandoned; no file written");
        return result;
    }
    switch (platform.stop_reason()) {
    case CaptureStop::Interrupted:
        progress.finish("glimmerfrost: capture interrupted; no file written");
        return kExitFailure;
    case CaptureStop::OutputFailed:
        progress.finish("glimmerfrost: " + out.user_message(out.error) + "; no file written");
        return kExitFailure;
    case CaptureStop::MusicEnded:
        report("the music ended without the closing fade; the capture stops one second after its end");
        break;
    case CaptureStop::FrameLimit:
    case CaptureStop::None:
        break;
    }
    if (platform.frames() == 0) {
        progress.finish("glimmerfrost: the show drew no frame; no file written");
        return kExitFailure;
    }
    if (const auto error = commit_outputs(out)) {
        progress.finish("glimmerfrost: " + out.user_message(*error) + "; no file written");
        return kExitFailure;
    }

    std::string written;
    if (!out.video_final.empty()) {
        written += out.video_final.string();
    }
    if (!out.frames_final.empty()) {
        written += (written.empty() ? "" : " and ") + out.frames_final.string() + "/";
    }
    const double show_seconds = static_cast<double>(frame_start_ms(platform.frames(), rate)) / 1000.0;
    char summary[512];
    std::snprintf(summary, sizeof summary, "glimmerfrost: %llu frames (%s of show at %s fps) in %s, %.0f frames/s: %s",
                  static_cast<unsigned long long>(platform.frames()), format_minutes(show_seconds).c_str(),
                  rate_text(rate).c_str(), format_minutes(elapsed).c_str(),
                  elapsed > 0 ? static_cast<double>(platform.frames()) / elapsed : 0.0, written.c_str());
    progress.finish(summary);
    return kExitOk;
}

}  // namespace gf

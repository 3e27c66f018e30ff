// Command-line parsing: every option is checked and a refused one is named.
#include "driver/options.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/types.h"
#include "platform/output_file.h"
#include "platform/video_encoder.h"

namespace gf {

namespace {

constexpr int kMaxScale = 16;
constexpr int kMaxFps = 1000;
constexpr long kMaxCrf = 51;  // x264's constant-quality scale: 0 lossless .. 51
constexpr long kMaxVideoWidth = 7680;
constexpr long kMaxVideoHeight = 4320;
constexpr uint32_t kMaxStartOrder = 255;  // an Impulse Tracker order list holds at most 256 entries
constexpr uint32_t kMaxStartRow = 199;    // and a pattern at most 200 rows

std::optional<long> parse_number(std::string_view text, long min, long max) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

// "N" or "NUM/DEN", a positive rate up to kMaxFps, or an NTSC rate written as a decimal.
bool parse_fps(std::string_view text, int& num, int& den) {
    struct NtscRate {
        std::string_view text;
        int num;
    };
    for (const NtscRate& ntsc :
         {NtscRate{"23.976", 24000}, NtscRate{"29.97", 30000}, NtscRate{"59.94", 60000}, NtscRate{"119.88", 120000}}) {
        if (text == ntsc.text) {
            num = ntsc.num;
            den = 1001;
            return true;
        }
    }
    const std::size_t slash = text.find('/');
    const auto n = parse_number(text.substr(0, slash), 1, 1'000'000);
    const auto d =
        slash == std::string_view::npos ? std::optional<long>(1) : parse_number(text.substr(slash + 1), 1, 1'000'000);
    if (!n || !d || *n > *d * kMaxFps) {
        return false;
    }
    num = static_cast<int>(*n);
    den = static_cast<int>(*d);
    return true;
}

// "WIDTHxHEIGHT": even, from 320 × 200 up to 7680 × 4320.
bool parse_size(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) {
        return false;
    }
    const auto w = parse_number(text.substr(0, x), kScreenWidth, kMaxVideoWidth);
    const auto h = parse_number(text.substr(x + 1), kScreenHeight, kMaxVideoHeight);
    if (!w || !h || *w % 2 != 0 || *h % 2 != 0) {
        return false;
    }
    width = static_cast<int>(*w);
    height = static_cast<int>(*h);
    return true;
}

// Capture options that cannot go together, in words; empty when they can.
std::string capture_conflict(const CaptureOptions& c) {
    const bool output = !c.video_path.empty() || !c.frames_dir.empty();
    if (c.benchmark && output) {
        return "option --benchmark renders with no output and cannot be combined with --capture or --frames";
    }
    if (!c.video_path.empty() && !is_video_frame_rate(c.fps_num, c.fps_den)) {
        return "option --fps: a video is made at 24 to 240 frames per second or at 23.976, 29.97, 59.94 or 119.88";
    }
    if (!c.video_path.empty() && !c.frames_dir.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path video = fs::absolute(without_trailing_separator(c.video_path), ec).lexically_normal();
        const fs::path frames = fs::absolute(without_trailing_separator(c.frames_dir), ec).lexically_normal();
        if (without_trailing_separator(video.string()) == without_trailing_separator(frames.string())) {
            return "options --capture and --frames name the same path '" + c.video_path +
                   "'; the video and the frames folder need different names";
        }
    }
    return {};
}

bool parse_start(std::string_view text, uint32_t& order, uint32_t& row) {
    const std::size_t colon = text.find(':');
    const auto o = parse_number(text.substr(0, colon), 0, kMaxStartOrder);
    const auto r = colon == std::string_view::npos ? std::optional<long>(0)
                                                   : parse_number(text.substr(colon + 1), 0, kMaxStartRow);
    if (!o || !r) {
        return false;
    }
    order = static_cast<uint32_t>(*o);
    row = static_cast<uint32_t>(*r);
    return true;
}

// Options that only make sense for one kind of run, refused in words when given to
// another (they would otherwise be dropped without a word); empty when all apply.
std::string inapplicable_option(const std::vector<std::string>& given, const CaptureOptions& c) {
    const bool video = !c.video_path.empty();
    const char* offline = c.benchmark             ? "--benchmark"
                          : video                 ? "--capture"
                          : !c.frames_dir.empty() ? "--frames"
                                                  : nullptr;
    for (const std::string& name : given) {
        const bool video_only = name == "--quality" || name == "--crf" || name == "--preset" || name == "--size";
        const bool offline_only = name == "--end";
        const bool window_only = name == "--scale" || name == "--fullscreen" || name == "--interactive";
        if (video_only && !video) {
            return "option " + name + " only applies to a video made with --capture" +
                   (c.frames_dir.empty() ? "" : " (--frames writes the 320x200 frames as they are)");
        }
        if (offline_only && offline == nullptr) {
            return "option " + name + " only applies with --capture, --frames or --benchmark";
        }
        if (window_only && offline != nullptr) {
            return "option " + name + " only applies to the window, not with " + offline;
        }
    }
    return {};
}

}  // namespace

std::string usage_text() {
    return "Usage: glimmerfrost [OPTION]...\n"
           "Plays the Glimmerfrost demo in a window with sound. Without a display it renders\n"
           "the show to glimmerfrost.mp4 in the current directory instead.\n"
           "\n"
           "  --data DIR           read the data files from DIR only\n"
           "  --aspect square|4:3  pixel shape: square, or stretched to 4:3 (default)\n"
           "  --scale N            window size: N times the frame (1-16; default: fit the desktop)\n"
           "  --fullscreen         start in full screen (Alt+Enter or F11 toggles)\n"
           "  --fps N              frame rate: window pacing, or the video's rate\n"
           "                       (a video: 24-240 or 23.976, 29.97, 59.94, 119.88; default 60)\n"
           "  --mute               play without sound\n"
           "  --gentle             limit the flashing to at most three flashes a second in\n"
           "                       any part of the picture (window, --capture and --frames)\n"
           "  --start ORDER[:ROW]  start the music at that position (for previewing a scene)\n"
           "  --end ORDER[:ROW]    stop a capture or the frames at that position (a clip)\n"
           "  --interactive        viewer keys: Space pauses, Left/Right go to the previous or\n"
           "                       next order, '.'/',' step a frame while paused, Home goes\n"
           "                       to the start, Esc or Q ends (other keys do nothing)\n"
           "  --capture FILE       render the show to the video FILE instead of a window\n"
           "  --quality LEVEL      video quality: normal (default), small, high or lossless\n"
           "  --crf N              x264 constant quality 0-51 (lower is better; overrides the level)\n"
           "  --preset NAME        x264 speed preset, ultrafast ... veryslow (overrides the level)\n"
           "  --size WxH           video size (default 1280x800, shown at the --aspect shape;\n"
           "                       1600x1200 for 4:3 in square pixels, 2880x2160 for 4K sites,\n"
           "                       320x200 unscaled)\n"
           "  --frames DIR         render the show to numbered pictures and the sound in DIR\n"
           "  --benchmark          render the show with no output and print its cost per order\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "\n"
           "Warning: the show has fast flashing lights. Viewers sensitive to flashing light\n"
           "should watch with --gentle, or not at all.\n"
           "\n"
           "Keys: any key ends the show, except modifier, lock and media keys;\n"
           "Alt+Enter or F11 toggles full screen. '--' ends the options.\n";
}

ParsedOptions parse_options(int argc, const char* const* argv) {
    ParsedOptions result;
    ProgramOptions& o = result.options;
    bool help = false;
    bool version = false;
    const auto fail = [&result](const std::string& message) {
        result.ok = false;
        result.error = message;
        return result;
    };

    std::vector<std::string> given;  // the options named, in order
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--" && !options_ended) {
            options_ended = true;  // what follows is not an option, even when it starts with '-'
            continue;
        }
        if (options_ended) {
            return fail("unexpected argument '" + arg + "'");
        }
        std::string name = arg;
        std::optional<std::string> inline_value;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                inline_value = arg.substr(eq + 1);
            }
        }
        // Takes the option's value from "=VALUE" or the next argument; an empty value is a missing one.
        std::string value;
        const auto need_value = [&]() -> bool {
            if (inline_value) {
                value = *inline_value;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return false;
            }
            return !value.empty();
        };
        const auto missing = [&](const char* what) { return fail("option " + name + " needs " + what); };
        given.push_back(name);
        const auto no_value = [&]() { return !inline_value.has_value(); };

        if (name == "--help" || name == "-h") {
            if (!no_value()) return fail("option " + name + " takes no value");
            help = true;
        } else if (name == "--version") {
            if (!no_value()) return fail("option " + name + " takes no value");
            version = true;
        } else if (name == "--fullscreen") {
            if (!no_value()) return fail("option " + name + " takes no value");
            o.display.fullscreen = true;
        } else if (name == "--mute") {
            if (!no_value()) return fail("option " + name + " takes no value");
            o.mute = true;
            o.capture.mute = true;
        } else if (name == "--gentle") {
            if (!no_value()) return fail("option " + name + " takes no value");
            o.gentle = true;
        } else if (name == "--interactive") {
            if (!no_value()) return fail("option " + name + " takes no value");
            o.display.interactive = true;
        } else if (name == "--benchmark") {
            if (!no_value()) return fail("option " + name + " takes no value");
            o.capture.benchmark = true;
        } else if (name == "--data") {
            if (!need_value()) return missing("a folder");
            o.data_dir = value;
        } else if (name == "--aspect") {
            if (!need_value()) return missing("square or 4:3");
            if (value == "square") {
                o.display.aspect = Aspect::Square;
                o.capture.square_pixels = true;
            } else if (value == "4:3") {
                o.display.aspect = Aspect::FourThree;
                o.capture.square_pixels = false;
            } else {
                return fail("option --aspect: '" + value + "' is not square or 4:3");
            }
        } else if (name == "--scale") {
            if (!need_value()) return missing("a number");
            const auto scale = parse_number(value, 1, kMaxScale);
            if (!scale) return fail("option --scale: '" + value + "' is not a whole number from 1 to 16");
            o.display.scale = static_cast<int>(*scale);
        } else if (name == "--fps") {
            if (!need_value()) return missing("a rate");
            int num = 0;
            int den = 1;
            if (!parse_fps(value, num, den)) {
                return fail("option --fps: '" + value + "' is not a rate like 60 or 60000/1001 (at most 1000)");
            }
            o.capture.fps_num = num;
            o.capture.fps_den = den;
            o.display.fps = static_cast<double>(num) / den;
        } else if (name == "--start") {
            if (!need_value()) return missing("ORDER or ORDER:ROW");
            if (!parse_start(value, o.start_order, o.start_row)) {
                return fail("option --start: '" + value + "' is not ORDER or ORDER:ROW (order 0-255, row 0-199)");
            }
            o.start_given = true;
        } else if (name == "--end") {
            if (!need_value()) return missing("ORDER or ORDER:ROW");
            if (!parse_start(value, o.capture.end_order, o.capture.end_row)) {
                return fail("option --end: '" + value + "' is not ORDER or ORDER:ROW (order 0-255, row 0-199)");
            }
            o.capture.end_given = true;
        } else if (name == "--capture") {
            if (!need_value()) return missing("a file name");
            if (find_video_container(without_trailing_separator(value).string()) == nullptr) {
                return fail("option --capture: '" + value + "' is not a video name: use " + video_extensions_text());
            }
            o.capture.video_path = value;
        } else if (name == "--frames") {
            if (!need_value()) return missing("a folder");
            o.capture.frames_dir = value;
        } else if (name == "--quality") {
            std::string levels;
            for (const QualityLevel& level : quality_levels()) {
                levels += levels.empty() ? "" : ", ";
                levels += level.name;
            }
            if (!need_value()) return missing(("a level (" + levels + ")").c_str());
            if (find_quality_level(value) == nullptr) {
                std::string message = "option --quality: '" + value + "' is not one of ";
                message += levels;
                return fail(message);
            }
            o.capture.quality = value;
        } else if (name == "--crf") {
            if (!need_value()) return missing("a number");
            const auto crf = parse_number(value, 0, kMaxCrf);
            if (!crf) return fail("option --crf: '" + value + "' is not a whole number from 0 to 51");
            o.capture.crf = static_cast<int>(*crf);
        } else if (name == "--preset") {
            if (!need_value()) return missing("an x264 preset (ultrafast ... veryslow)");
            if (!is_x264_preset(value)) {
                return fail("option --preset: '" + value + "' is not an x264 preset (ultrafast ... veryslow)");
            }
            o.capture.preset = value;
        } else if (name == "--size") {
            if (!need_value()) return missing("WIDTHxHEIGHT");
            if (!parse_size(value, o.capture.width, o.capture.height)) {
                return fail("option --size: '" + value +
                            "' is not WIDTHxHEIGHT, even, from 320x200 to 7680x4320 (e.g. 1600x1200, 2880x2160)");
            }
        } else if (name == "--max-frames") {
            // Not in the usage text: lets tests capture the beginning of the show only.
            if (!need_value()) return missing("a number");
            const auto frames = parse_number(value, 1, 100'000'000);
            if (!frames) return fail("option --max-frames: '" + value + "' is not a positive whole number");
            o.capture.max_frames = static_cast<uint64_t>(*frames);
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option " + name);
        } else {
            return fail("unexpected argument '" + arg + "'");
        }
    }

    if (!help && !version) {
        if (const std::string refused = inapplicable_option(given, o.capture); !refused.empty()) {
            return fail(refused);
        }
    }
    if (o.capture.end_given && !help && !version &&
        (o.capture.end_order < o.start_order ||
         (o.capture.end_order == o.start_order && o.capture.end_row <= o.start_row))) {
        return fail("option --end: " + std::to_string(o.capture.end_order) + ":" + std::to_string(o.capture.end_row) +
                    " is not after the start " + std::to_string(o.start_order) + ":" + std::to_string(o.start_row));
    }
    if (const std::string conflict = capture_conflict(o.capture); !conflict.empty()) {
        return fail(conflict);
    }

    if (help) {
        o.action = ProgramAction::Help;
    } else if (version) {
        o.action = ProgramAction::Version;
    } else if (o.capture.benchmark || !o.capture.video_path.empty() || !o.capture.frames_dir.empty()) {
        o.action = ProgramAction::Capture;
    }
    return result;
}

}  // namespace gf

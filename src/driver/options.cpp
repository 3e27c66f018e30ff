// Command-line parsing: every option is checked and a refused one is named.
#include "driver/options.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "common/types.h"
#include "platform/output_file.h"
#include "platform/video_encoder.h"

namespace gf {

// The options read so far, and whether --help or --version was among them.
struct OptionsBeingParsed {
    ProgramOptions& options;
    bool help = false;
    bool version = false;
};

namespace {

// An option refused: the run ends as a usage failure.
Status refuse(std::string message) { return failed(std::move(message), Failure::Usage); }

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

// Capture options that cannot go together, in words (a usage failure).
Status capture_conflict(const CaptureOptions& c) {
    const bool output = !c.video_path.empty() || !c.frames_dir.empty();
    if (c.benchmark && output) {
        return refuse("option --benchmark renders with no output and cannot be combined with --capture or --frames");
    }
    if (!c.video_path.empty() && !is_video_frame_rate(c.fps_num, c.fps_den)) {
        return refuse(
            "option --fps: a video is made at 24 to 240 frames per second or at 23.976, 29.97, 59.94 or 119.88");
    }
    if (!c.video_path.empty() && !c.frames_dir.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path video = fs::absolute(without_trailing_separator(c.video_path), ec).lexically_normal();
        const fs::path frames = fs::absolute(without_trailing_separator(c.frames_dir), ec).lexically_normal();
        if (without_trailing_separator(video.string()) == without_trailing_separator(frames.string())) {
            return refuse("options --capture and --frames name the same path '" + c.video_path +
                          "'; the video and the frames folder need different names");
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

const OptionEntry* find_option(const std::string& name) {
    for (const OptionEntry& entry : option_table()) {
        if (name == entry.name || (!entry.alias.empty() && name == entry.alias)) {
            return &entry;
        }
    }
    return nullptr;
}

// Options that only make sense for one kind of run, refused in words when given to
// another (they would otherwise be dropped without a word) (a usage failure).
Status inapplicable_option(const std::vector<std::string>& given, const CaptureOptions& c) {
    const bool video = !c.video_path.empty();
    const char* offline = c.benchmark             ? "--benchmark"
                          : video                 ? "--capture"
                          : !c.frames_dir.empty() ? "--frames"
                                                  : nullptr;
    for (const std::string& name : given) {
        const OptionRun run = find_option(name)->run;
        if (run == OptionRun::Video && !video) {
            return refuse("option " + name + " only applies to a video made with --capture" +
                          (c.frames_dir.empty() ? "" : " (--frames writes the 320x200 frames as they are)"));
        }
        if (run == OptionRun::Offline && offline == nullptr) {
            return refuse("option " + name + " only applies with --capture, --frames or --benchmark");
        }
        if (run == OptionRun::Window && offline != nullptr) {
            return refuse("option " + name + " only applies to the window, not with " + offline);
        }
    }
    return {};
}

std::string quality_level_names() {
    std::string levels;
    for (const QualityLevel& level : quality_levels()) {
        levels += levels.empty() ? "" : ", ";
        levels += level.name;
    }
    return levels;
}

Status set_aspect(const std::string& value, OptionsBeingParsed& into) {
    ProgramOptions& o = into.options;
    if (value == "square") {
        o.display.aspect = Aspect::Square;
        o.capture.square_pixels = true;
    } else if (value == "4:3") {
        o.display.aspect = Aspect::FourThree;
        o.capture.square_pixels = false;
    } else {
        return refuse("option --aspect: '" + value + "' is not square or 4:3");
    }
    return {};
}

Status set_fps(const std::string& value, OptionsBeingParsed& into) {
    int num = 0;
    int den = 1;
    if (!parse_fps(value, num, den)) {
        return refuse("option --fps: '" + value + "' is not a rate like 60 or 60000/1001 (at most 1000)");
    }
    into.options.capture.fps_num = num;
    into.options.capture.fps_den = den;
    into.options.display.fps = static_cast<double>(num) / den;
    return {};
}

Status set_start(const std::string& value, OptionsBeingParsed& into) {
    ProgramOptions& o = into.options;
    if (!parse_start(value, o.start_order, o.start_row)) {
        return refuse("option --start: '" + value + "' is not ORDER or ORDER:ROW (order 0-255, row 0-199)");
    }
    o.start_given = true;
    return {};
}

Status set_end(const std::string& value, OptionsBeingParsed& into) {
    CaptureOptions& c = into.options.capture;
    if (!parse_start(value, c.end_order, c.end_row)) {
        return refuse("option --end: '" + value + "' is not ORDER or ORDER:ROW (order 0-255, row 0-199)");
    }
    c.end_given = true;
    return {};
}

Status set_capture(const std::string& value, OptionsBeingParsed& into) {
    if (find_video_container(without_trailing_separator(value).string()) == nullptr) {
        return refuse("option --capture: '" + value + "' is not a video name: use " + video_extensions_text());
    }
    into.options.capture.video_path = value;
    return {};
}

Status set_quality(const std::string& value, OptionsBeingParsed& into) {
    if (find_quality_level(value) == nullptr) {
        return refuse("option --quality: '" + value + "' is not one of " + quality_level_names());
    }
    into.options.capture.quality = value;
    return {};
}

Status set_preset(const std::string& value, OptionsBeingParsed& into) {
    if (!is_x264_preset(value)) {
        return refuse("option --preset: '" + value + "' is not an x264 preset (ultrafast ... veryslow)");
    }
    into.options.capture.preset = value;
    return {};
}

Status set_size(const std::string& value, OptionsBeingParsed& into) {
    if (!parse_size(value, into.options.capture.width, into.options.capture.height)) {
        return refuse("option --size: '" + value +
                      "' is not WIDTHxHEIGHT, even, from 320x200 to 7680x4320 (e.g. 1600x1200, 2880x2160)");
    }
    return {};
}

Status set_data(const std::string& value, OptionsBeingParsed& into) {
    into.options.data_dir = value;
    return {};
}

Status set_scale(const std::string& value, OptionsBeingParsed& into) {
    const auto scale = parse_number(value, 1, kMaxScale);
    if (!scale) {
        return refuse("option --scale: '" + value + "' is not a whole number from 1 to 16");
    }
    into.options.display.scale = static_cast<int>(*scale);
    return {};
}

Status set_crf(const std::string& value, OptionsBeingParsed& into) {
    const auto crf = parse_number(value, 0, kMaxCrf);
    if (!crf) {
        return refuse("option --crf: '" + value + "' is not a whole number from 0 to 51");
    }
    into.options.capture.crf = static_cast<int>(*crf);
    return {};
}

Status set_frames(const std::string& value, OptionsBeingParsed& into) {
    into.options.capture.frames_dir = value;
    return {};
}

Status set_max_frames(const std::string& value, OptionsBeingParsed& into) {
    const auto frames = parse_number(value, 1, 100'000'000);
    if (!frames) {
        return refuse("option --max-frames: '" + value + "' is not a positive whole number");
    }
    into.options.capture.max_frames = static_cast<uint64_t>(*frames);
    return {};
}

// The options without a value each switch one thing on.
Status set_fullscreen(const std::string&, OptionsBeingParsed& into) {
    into.options.display.fullscreen = true;
    return {};
}

Status set_mute(const std::string&, OptionsBeingParsed& into) {
    into.options.mute = true;
    into.options.capture.mute = true;
    return {};
}

Status set_gentle(const std::string&, OptionsBeingParsed& into) {
    into.options.gentle = true;
    return {};
}

Status set_interactive(const std::string&, OptionsBeingParsed& into) {
    into.options.display.interactive = true;
    return {};
}

Status set_benchmark(const std::string&, OptionsBeingParsed& into) {
    into.options.capture.benchmark = true;
    return {};
}

Status set_help(const std::string&, OptionsBeingParsed& into) {
    into.help = true;
    return {};
}

Status set_version(const std::string&, OptionsBeingParsed& into) {
    into.version = true;
    return {};
}

// Reads argv[1..argc-1] into `into`, listing the options named in `given` in order;
// returns the first refusal.
Status read_arguments(int argc, const char* const* argv, OptionsBeingParsed& into, std::vector<std::string>& given) {
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--" && !options_ended) {
            options_ended = true;  // what follows is not an option, even when it starts with '-'
            continue;
        }
        if (options_ended) {
            return refuse("unexpected argument '" + arg + "'");
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
        const OptionEntry* entry = find_option(name);
        if (entry == nullptr) {
            return refuse(!arg.empty() && arg[0] == '-' ? "unknown option " + name
                                                        : "unexpected argument '" + arg + "'");
        }
        given.push_back(name);
        // The value comes from "=VALUE" or the next argument; an empty value is a missing one.
        std::string value;
        if (entry->argument.empty()) {
            if (inline_value) {
                return refuse("option " + name + " takes no value");
            }
        } else {
            if (inline_value) {
                value = *inline_value;
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value.empty()) {
                return refuse("option " + name + " needs " + entry->needs);
            }
        }
        if (Status refused = entry->apply(value, into); !refused.ok) {
            return refused;
        }
    }
    return {};
}

// The checks of the options together, once all are read; the first refusal.
Status combination_refusal(const std::vector<std::string>& given, const OptionsBeingParsed& into) {
    const ProgramOptions& o = into.options;
    if (!into.help && !into.version) {
        if (Status refused = inapplicable_option(given, o.capture); !refused.ok) {
            return refused;
        }
    }
    if (o.capture.end_given && !into.help && !into.version &&
        (o.capture.end_order < o.start_order ||
         (o.capture.end_order == o.start_order && o.capture.end_row <= o.start_row))) {
        return refuse("option --end: " + std::to_string(o.capture.end_order) + ":" + std::to_string(o.capture.end_row) +
                      " is not after the start " + std::to_string(o.start_order) + ":" + std::to_string(o.start_row));
    }
    return capture_conflict(o.capture);
}

// An option's lines in the usage text: its name and value in a column, then its help, each
// further line of it under the first.
std::string usage_lines(const OptionEntry& entry) {
    constexpr std::size_t kLabelWidth = 20;
    const std::string label = entry.argument.empty() ? entry.name : entry.name + " " + entry.argument;
    std::string text = "  " + label + std::string(kLabelWidth + 1 - std::min(label.size(), kLabelWidth), ' ');
    for (const char c : entry.help) {
        text += c;
        if (c == '\n') {
            text += std::string(kLabelWidth + 3, ' ');
        }
    }
    return text + '\n';
}

}  // namespace

const std::vector<OptionEntry>& option_table() {
    // name, other name, value, what a missing value should be, usage lines ('\n' between), how it is
    // read, and the runs it applies to when not all
    static const std::vector<OptionEntry> table = {
        {"--data", "", "DIR", "a folder", "read the data files from DIR only", set_data},
        {"--aspect", "", "square|4:3", "square or 4:3", "pixel shape: square, or stretched to 4:3 (default)",
         set_aspect},
        {"--scale", "", "N", "a number", "window size: N times the frame (1-16; default: fit the desktop)", set_scale,
         OptionRun::Window},
        {"--fullscreen", "", "", "", "start in full screen (Alt+Enter or F11 toggles)", set_fullscreen,
         OptionRun::Window},
        {"--fps", "", "N", "a rate",
         "frame rate: window pacing, or the video's rate\n"
         "(a video: 24-240 or 23.976, 29.97, 59.94, 119.88; default 60)",
         set_fps},
        {"--mute", "", "", "", "play without sound", set_mute},
        {"--gentle", "", "", "",
         "limit the flashing to at most three flashes a second in\n"
         "any part of the picture (window, --capture and --frames)",
         set_gentle},
        {"--start", "", "ORDER[:ROW]", "ORDER or ORDER:ROW",
         "start the music at that position (for previewing a scene)", set_start},
        {"--end", "", "ORDER[:ROW]", "ORDER or ORDER:ROW", "stop a capture or the frames at that position (a clip)",
         set_end, OptionRun::Offline},
        {"--interactive", "", "", "",
         "viewer keys: Space pauses, Left/Right go to the previous or\n"
         "next order, '.'/',' step a frame while paused, Home goes\n"
         "to the start, Esc or Q ends (other keys do nothing)",
         set_interactive, OptionRun::Window},
        {"--capture", "", "FILE", "a file name", "render the show to the video FILE instead of a window", set_capture},
        {"--quality", "", "LEVEL", "a level (" + quality_level_names() + ")",
         "video quality: normal (default), small, high or lossless", set_quality, OptionRun::Video},
        {"--crf", "", "N", "a number", "x264 constant quality 0-51 (lower is better; overrides the level)", set_crf,
         OptionRun::Video},
        {"--preset", "", "NAME", "an x264 preset (ultrafast ... veryslow)",
         "x264 speed preset, ultrafast ... veryslow (overrides the level)", set_preset, OptionRun::Video},
        {"--size", "", "WxH", "WIDTHxHEIGHT",
         "video size (default 1280x800, shown at the --aspect shape;\n"
         "1600x1200 for 4:3 in square pixels, 2880x2160 for 4K sites,\n"
         "320x200 unscaled)",
         set_size, OptionRun::Video},
        {"--frames", "", "DIR", "a folder", "render the show to numbered pictures and the sound in DIR", set_frames},
        {"--benchmark", "", "", "", "render the show with no output and print its cost per order", set_benchmark},
        {"--help", "-h", "", "", "show this text", set_help},
        {"--version", "", "", "", "show the version", set_version},
        // Not in the usage text: lets tests capture the beginning of the show only.
        {"--max-frames", "", "N", "a number", "", set_max_frames},
    };
    return table;
}

std::string usage_text() {
    std::string text =
        "Usage: glimmerfrost [OPTION]...\n"
        "Plays the Glimmerfrost demo in a window with sound. Without a display it renders\n"
        "the show to glimmerfrost.mp4 in the current directory instead.\n"
        "\n";
    for (const OptionEntry& entry : option_table()) {
        if (!entry.help.empty()) {
            text += usage_lines(entry);
        }
    }
    return text +
           "\n"
           "Warning: the show has fast flashing lights. Viewers sensitive to flashing light\n"
           "should watch with --gentle, or not at all.\n"
           "\n"
           "Keys: any key ends the show, except modifier, lock and media keys;\n"
           "Alt+Enter or F11 toggles full screen. '--' ends the options.\n";
}

ParsedOptions parse_options(int argc, const char* const* argv) {
    ParsedOptions result;
    OptionsBeingParsed into{result.options};
    std::vector<std::string> given;  // the options named, in order
    result.status = read_arguments(argc, argv, into, given);
    if (result.status.ok) {
        result.status = combination_refusal(given, into);
    }
    if (!result.status.ok) {
        return result;
    }
    ProgramOptions& o = result.options;
    if (into.help) {
        o.action = ProgramAction::Help;
    } else if (into.version) {
        o.action = ProgramAction::Version;
    } else if (o.capture.benchmark || !o.capture.video_path.empty() || !o.capture.frames_dir.empty()) {
        o.action = ProgramAction::Capture;
    }
    return result;
}

}  // namespace gf

// Progress bar and summary line of a capture.
#include "platform/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <libopenmpt/libopenmpt.hpp>
#include <sstream>
#include <vector>

namespace gf {

namespace {
constexpr double kRedrawInterval = 0.1;  // seconds of real time between redraws
}

std::string format_minutes(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        return "-:--";
    }
    const long whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string format_progress(const ProgressSnapshot& s, int width) {
    double fraction = s.total_seconds > 0 ? s.show_seconds / s.total_seconds : 0.0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * width);
    std::string line(static_cast<std::size_t>(width) + 2, '-');
    line.front() = '[';
    line.back() = ']';
    for (int i = 0; i < filled; ++i) {
        line[static_cast<std::size_t>(i) + 1] = '#';
    }
    const double fps = s.wall_seconds > 0 ? static_cast<double>(s.frames) / s.wall_seconds : 0.0;
    // Show seconds rendered per real second gives the time still needed for the rest.
    const double speed = s.wall_seconds > 0 ? s.show_seconds / s.wall_seconds : 0.0;
    const double left =
        s.total_seconds > 0 && speed > 0 ? std::max(0.0, s.total_seconds - s.show_seconds) / speed : -1.0;
    char text[160];
    std::snprintf(text, sizeof text, " %3d%%  order %2u row %3u  %5.0f fps  %s left", static_cast<int>(fraction * 100),
                  s.order, s.row, fps, format_minutes(left).c_str());
    line += text;
    return line;
}

ProgressDisplay::ProgressDisplay(bool live, std::FILE* out) : live_(live), out_(out) {}

void ProgressDisplay::update(const ProgressSnapshot& snapshot) {
    if (!live_ || (drawn_ && snapshot.wall_seconds - last_drawn_ < kRedrawInterval)) {
        return;
    }
    last_drawn_ = snapshot.wall_seconds;
    drawn_ = true;
    // Carriage return and erase-to-end-of-line redraw the bar in place.
    std::fprintf(out_, "\r%s\x1b[K", format_progress(snapshot).c_str());
    std::fflush(out_);
}

void ProgressDisplay::finish(const std::string& summary) {
    if (drawn_) {
        std::fputs("\r\x1b[K", out_);
    }
    std::fprintf(out_, "%s\n", summary.c_str());
    std::fflush(out_);
}

double music_seconds_between(const std::string& path, uint32_t from_order, uint32_t from_row, uint32_t to_order,
                             uint32_t to_row) {
    try {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ostringstream no_log;
        openmpt::module module(bytes, no_log);
        const double total = module.get_duration_seconds();
        const double at =
            module.set_position_order_row(static_cast<int32_t>(from_order), static_cast<int32_t>(from_row));
        const double to =
            to_order < static_cast<uint32_t>(module.get_num_orders())
                ? module.set_position_order_row(static_cast<int32_t>(to_order), static_cast<int32_t>(to_row))
                : total;
        return std::clamp(to - at, 0.0, std::max(0.0, total - at));
    } catch (...) {
        return 0.0;  // the progress bar then shows no share and no time left
    }
}

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace gf

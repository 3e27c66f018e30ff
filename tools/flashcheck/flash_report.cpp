// The flash analyser over frames in memory or in a --frames folder.
#include "flashcheck/flash_report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/types.h"
#include "platform/frame_files.h"

namespace gf {

void FlashAnalyser::add_frame(const uint32_t* pixels, uint64_t ms, uint32_t order) {
    CellLight cells;
    measure_cells(pixels, cells);
    // The tracks keep 32-bit millisecond times, as the limiter does; differences wrap the same way.
    const uint32_t now = static_cast<uint32_t>(ms);
    int most_general = 0;
    int most_red = 0;
    for (int a = 0; a < kFlashAreas; ++a) {
        const AreaLight light = area_light(cells, a);
        observe_flash(general_[a], FlashKind::General, light, now);
        observe_flash(red_[a], FlashKind::Red, light, now);
        most_general = std::max(most_general, transitions_within_second(general_[a], now));
        most_red = std::max(most_red, transitions_within_second(red_[a], now));
    }
    const bool fails = most_general > kFlashMaxTransitions || most_red > kFlashMaxTransitions;
    FlashOrderSummary& o = orders_[order];
    ++o.frames;
    o.most_general = std::max(o.most_general, most_general);
    o.most_red = std::max(o.most_red, most_red);
    const uint64_t second = ms / kFlashWindowMs;
    o.failing_frames += fails ? 1 : 0;
    o.seconds[second] = o.seconds[second] || fails;
    seconds_[second] = seconds_[second] || fails;
}

uint64_t FlashAnalyser::seconds() const { return seconds_.size(); }

uint64_t FlashAnalyser::failing_seconds() const {
    return static_cast<uint64_t>(
        std::count_if(seconds_.begin(), seconds_.end(), [](const auto& s) { return s.second; }));
}

std::string FlashAnalyser::table() const {
    std::ostringstream out;
    char line[160];
    std::snprintf(line, sizeof line, "%5s %7s %8s %8s %14s %10s\n", "order", "frames", "seconds", "failing",
                  "general/1 s", "red/1 s");
    out << line;
    int most_general = 0;
    int most_red = 0;
    for (const auto& [order, o] : orders_) {
        const auto failing = std::count_if(o.seconds.begin(), o.seconds.end(), [](const auto& s) { return s.second; });
        std::snprintf(line, sizeof line, "%5u %7" PRIu64 " %8zu %8td %14d %10d\n", order, o.frames, o.seconds.size(),
                      failing, o.most_general, o.most_red);
        out << line;
        most_general = std::max(most_general, o.most_general);
        most_red = std::max(most_red, o.most_red);
    }
    std::snprintf(line, sizeof line, "%5s %7s %8" PRIu64 " %8" PRIu64 " %14d %10d\n", "all", "", seconds(),
                  failing_seconds(), most_general, most_red);
    out << line;
    return out.str();
}

Status analyse_frame_folder(const std::string& dir, FlashAnalyser& analyser) {
    const std::string csv_path = dir + "/frames.csv";
    std::ifstream csv(csv_path);
    if (!csv) {
        return failed_on(csv_path, "cannot be read (is " + dir + " a --frames folder?)");
    }
    std::string text;
    std::getline(csv, text);
    if (text != "frame,ms,order,row") {
        return failed_on(csv_path, "not a frame table (its first line is not frame,ms,order,row)");
    }
    uint64_t line_number = 1;
    uint64_t last_ms = 0;
    uint64_t frames = 0;
    while (std::getline(csv, text)) {
        ++line_number;
        uint64_t index = 0;
        uint64_t ms = 0;
        unsigned order = 0;
        unsigned row = 0;
        char end = 0;
        if (std::sscanf(text.c_str(), "%" SCNu64 ",%" SCNu64 ",%u,%u%c", &index, &ms, &order, &row, &end) != 4 ||
            (frames > 0 && ms < last_ms)) {
            return failed_on(csv_path, "line " + std::to_string(line_number) + " is not a frame row");
        }
        PngImage image;
        const std::string path = dir + "/" + FrameFolderWriter::frame_name(index);
        Status status = read_png(path, image);
        if (!status.ok) {
            return status;
        }
        if (image.width != kScreenWidth || image.height != kScreenHeight) {
            return failed_on(
                path, std::to_string(image.width) + "x" + std::to_string(image.height) + ", not a 320x200 frame");
        }
        analyser.add_frame(image.pixels.data(), ms, order);
        last_ms = ms;
        ++frames;
    }
    if (frames == 0) {
        return failed_on(csv_path, "lists no frames");
    }
    return Status{};
}

}  // namespace gf

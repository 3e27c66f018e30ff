// GIF clips: frames stored compactly, then one palette for the whole clip.
#include "platform/gif_clip.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "common/types.h"

namespace gf {

namespace {

constexpr int kChannelBits = 5;
constexpr int kChannelLevels = 1 << kChannelBits;
constexpr uint32_t kBins = 1u << (3 * kChannelBits);

uint16_t to_15_bits(uint32_t pixel) {
    return static_cast<uint16_t>(((pixel >> 19) & 0x1F) << 10 | ((pixel >> 11) & 0x1F) << 5 | ((pixel >> 3) & 0x1F));
}

int channel_of(uint32_t bin, int channel) { return static_cast<int>(bin >> (10 - 5 * channel)) & 0x1F; }

// A 5-bit level widened back to 8 bits, so that 31 is full brightness.
uint32_t widen(double level) {
    const long v = std::lround(level * 255.0 / 31.0);
    return static_cast<uint32_t>(std::clamp(v, 0L, 255L));
}

// A set of histogram bins (colours) that the median cut splits along its widest channel.
struct Box {
    std::vector<uint32_t> bins;
    uint64_t weight = 0;
    int widest = 0;
    int range = 0;

    void measure(const std::array<uint32_t, kBins>& histogram) {
        int low[3] = {kChannelLevels, kChannelLevels, kChannelLevels};
        int high[3] = {-1, -1, -1};
        weight = 0;
        for (const uint32_t bin : bins) {
            weight += histogram[bin];
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], channel_of(bin, c));
                high[c] = std::max(high[c], channel_of(bin, c));
            }
        }
        range = -1;
        for (int c = 0; c < 3; ++c) {
            if (high[c] - low[c] > range) {
                range = high[c] - low[c];
                widest = c;
            }
        }
    }
};

using Histogram = std::array<uint32_t, kBins>;

// Splits the box that covers the widest range of a channel, weighted by how often its
// colours occur, at its weighted median; false when no box can be split.
bool split_widest_box(std::vector<Box>& boxes, const Histogram& histogram) {
    Box* split = nullptr;
    double best = 0;
    for (Box& box : boxes) {
        const double score = static_cast<double>(box.range) * static_cast<double>(box.weight);
        if (box.bins.size() > 1 && box.range > 0 && score > best) {
            best = score;
            split = &box;
        }
    }
    if (split == nullptr) {
        return false;
    }
    const int channel = split->widest;
    std::sort(split->bins.begin(), split->bins.end(),
              [channel](uint32_t a, uint32_t b) { return channel_of(a, channel) < channel_of(b, channel); });
    // The weighted median, but never an empty half.
    uint64_t seen = 0;
    std::size_t cut = 1;
    for (std::size_t i = 0; i + 1 < split->bins.size(); ++i) {
        seen += histogram[split->bins[i]];
        cut = i + 1;
        if (2 * seen >= split->weight) {
            break;
        }
    }
    Box upper;
    upper.bins.assign(split->bins.begin() + static_cast<std::ptrdiff_t>(cut), split->bins.end());
    split->bins.resize(cut);
    split->measure(histogram);
    upper.measure(histogram);
    boxes.push_back(std::move(upper));
    return true;
}

// The median cut: one box of every colour that occurs, split until there are `colours`
// boxes or none can be split.
std::vector<Box> median_cut(const Histogram& histogram, std::size_t colours) {
    std::vector<Box> boxes(1);
    for (uint32_t bin = 0; bin < kBins; ++bin) {
        if (histogram[bin] != 0) {
            boxes[0].bins.push_back(bin);
        }
    }
    boxes[0].measure(histogram);
    while (boxes.size() < colours && split_widest_box(boxes, histogram)) {
    }
    return boxes;
}

// A box's colour: the mean of its colours, weighted by how often each occurs.
uint32_t mean_colour(const Box& box, const Histogram& histogram) {
    double sum[3] = {0, 0, 0};
    for (const uint32_t bin : box.bins) {
        for (int c = 0; c < 3; ++c) {
            sum[c] += static_cast<double>(channel_of(bin, c)) * histogram[bin];
        }
    }
    const double weight = static_cast<double>(std::max<uint64_t>(box.weight, 1));
    return widen(sum[0] / weight) << 16 | widen(sum[1] / weight) << 8 | widen(sum[2] / weight);
}

// The palette entry nearest a colour (the first of equally near ones).
uint8_t nearest_entry(uint32_t bin, const std::vector<uint32_t>& palette) {
    const int r = static_cast<int>(widen(channel_of(bin, 0)));
    const int g = static_cast<int>(widen(channel_of(bin, 1)));
    const int b = static_cast<int>(widen(channel_of(bin, 2)));
    int best_distance = 1 << 30;
    uint8_t nearest = 0;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = r - static_cast<int>(palette[i] >> 16 & 0xFF);
        const int dg = g - static_cast<int>(palette[i] >> 8 & 0xFF);
        const int db = b - static_cast<int>(palette[i] & 0xFF);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            nearest = static_cast<uint8_t>(i);
        }
    }
    return nearest;
}

}  // namespace

bool GifClip::add(const uint32_t* pixels) {
    try {
        std::vector<uint16_t> colours(kScreenPixels);
        for (int i = 0; i < kScreenPixels; ++i) {
            colours[static_cast<std::size_t>(i)] = to_15_bits(pixels[i]);
            ++histogram_[colours[static_cast<std::size_t>(i)]];
        }
        const uLong raw_bytes = static_cast<uLong>(colours.size() * sizeof(uint16_t));
        uLongf packed_size = compressBound(raw_bytes);
        std::vector<uint8_t> packed(packed_size);
        if (compress2(packed.data(), &packed_size, reinterpret_cast<const Bytef*>(colours.data()), raw_bytes, 1) !=
            Z_OK) {
            return false;
        }
        packed.resize(packed_size);
        packed.shrink_to_fit();
        stored_bytes_ += packed.size();
        frames_.push_back(std::move(packed));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void GifClip::choose_palette() {
    const std::vector<Box> boxes = median_cut(histogram_, static_cast<std::size_t>(kColours));
    palette_.clear();
    lookup_.assign(kBins, 0);
    for (const Box& box : boxes) {
        if (!box.bins.empty()) {
            palette_.push_back(mean_colour(box, histogram_));
        }
    }
    if (palette_.empty()) {
        palette_.push_back(0);
    }
    // Each colour of the clip maps to its nearest palette entry.
    for (uint32_t bin = 0; bin < kBins; ++bin) {
        if (histogram_[bin] != 0) {
            lookup_[bin] = nearest_entry(bin, palette_);
        }
    }
}

bool GifClip::indices(std::size_t index, uint8_t* out) const {
    if (index >= frames_.size() || lookup_.empty()) {
        return false;
    }
    std::vector<uint16_t> colours(kScreenPixels);
    uLongf raw_size = static_cast<uLongf>(colours.size() * sizeof(uint16_t));
    const std::vector<uint8_t>& packed = frames_[index];
    if (uncompress(reinterpret_cast<Bytef*>(colours.data()), &raw_size, packed.data(),
                   static_cast<uLong>(packed.size())) != Z_OK ||
        raw_size != colours.size() * sizeof(uint16_t)) {
        return false;
    }
    for (std::size_t i = 0; i < colours.size(); ++i) {
        out[i] = lookup_[colours[i]];
    }
    return true;
}

}  // namespace gf

// The frames of a GIF clip, kept until the clip is complete so that one palette
// can be chosen for all of them. Frames are stored as 15-bit colours, deflated;
// the palette is a median cut of the clip's colour histogram.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace gf {

class GifClip {
public:
    // Entries the palette holds besides the transparent one the encoder's frame-difference pass uses.
    static constexpr int kColours = 255;
    static constexpr int kTransparentIndex = 255;

    // Keeps one 320 × 200 frame of 0x00RRGGBB pixels. False when out of memory.
    bool add(const uint32_t* pixels);
    std::size_t frames() const { return frames_.size(); }
    // Bytes held for the stored frames.
    std::size_t stored_bytes() const { return stored_bytes_; }

    // Chooses the clip's palette from every stored frame's colours: 0x00RRGGBB entries, at most kColours.
    void choose_palette();
    const std::vector<uint32_t>& palette() const { return palette_; }
    // Frame `index` as 320 × 200 palette indices. False if its stored data cannot be read back.
    bool indices(std::size_t index, uint8_t* out) const;

private:
    std::array<uint32_t, 1u << 15> histogram_{};
    std::vector<std::vector<uint8_t>> frames_;
    std::size_t stored_bytes_ = 0;
    std::vector<uint32_t> palette_;
    std::vector<uint8_t> lookup_;  // 15-bit colour -> palette index
};

}  // namespace gf

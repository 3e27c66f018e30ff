// The show as a video file: 320 × 200 frames scaled up with nearest neighbour
// and encoded as H.264 (yuv420p), the 44.1 kHz stereo sound as AAC, muxed by
// libavformat into the container the file name asks for (.mp4, .mkv, .mov).
// The file is written through a descriptor the caller opened: a name is never
// handed to FFmpeg's protocol layer, so "http:" or "file:" in it mean nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/status.h"
#include "platform/yuv_convert.h"

namespace gf {

struct VideoSettings {
    int fps_num = 60;  // frame rate num / den
    int fps_den = 1;
    // Output size, even, from 320 × 200 to 7680 × 4320. 1280 × 800 (4 × 4 blocks, on the
    // codec's transform grid) compresses best; 1600 × 1200 (5 × 6) holds the 4:3 picture in
    // whole square pixels. Other sizes map each output pixel to the source pixel under it, so
    // some rows or columns are one wider.
    int width = 1280;
    int height = 800;
    // Shape of one output pixel, so players show the intended picture shape (5:6 for 320 × 200
    // shown as 4:3).
    int pixel_aspect_num = 1;
    int pixel_aspect_den = 1;
    // x264 constant quality (0 lossless .. 51) and speed preset; the capture's quality levels
    // choose these.
    int crf = 18;
    std::string preset = "ultrafast";
    bool audio = true;  // false: a video with no sound track
    int audio_bit_rate = 256000;
    int sample_rate = 44100;
};

class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();  // abandons an unfinished file (closes it; the caller removes it)
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Writes to `fd`, which it owns from here on (closed by finish() or the destructor). The
    // container is chosen from `name`'s extension, and messages name `name`.
    Status open(int fd, const std::string& name, const VideoSettings& settings);
    // Creates or truncates `path` and writes to it; the container comes from `name_for_format`.
    Status open(const std::string& path, const std::string& name_for_format, const VideoSettings& settings);
    // Appends one 320 × 200 frame.
    Status add_frame(const uint32_t* pixels);
    // Appends interleaved 16-bit stereo samples (ignored when the settings have no audio).
    Status add_audio(const int16_t* samples, std::size_t frames);
    // Flushes both encoders and writes the container's index.
    Status finish();

    // Which H.264 encoder is used ("libx264" normally).
    std::string video_codec_name() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace gf

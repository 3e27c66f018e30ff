// The show as a video file: 320 × 200 frames scaled up with nearest neighbour,
// muxed by libavformat into the container the file name's extension names:
// H.264 (yuv420p) and AAC in .mp4, .mkv and .mov; VP9 and Opus in .webm; a
// GIF with one palette for the whole clip and no sound. Each container is
// written by its named muxer, never one FFmpeg guesses from the name, and the
// file through a descriptor the caller opened: a name is never handed to
// FFmpeg's protocol layer, so "http:" or "file:" in it mean nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/status.h"
#include "platform/yuv_convert.h"

namespace gf {

enum class VideoCodecs { H264Aac, Vp9Opus, Gif };

struct VideoContainer {
    const char* extension;  // with the dot, lower case; matched in any case
    const char* muxer;      // libavformat's name for it
    VideoCodecs codecs;
};

// The container for a file name, or nullptr when its extension is not one of ours.
const VideoContainer* find_video_container(const std::string& name);
// The extensions, in words: ".mp4, .mkv, .mov, .webm or .gif".
std::string video_extensions_text();

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
    // VP9's constant quality for .webm: 0 (lossless) .. 63.
    int vp9_crf = 0;
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
    // container is chosen from `name`'s extension, and messages name `name`. A GIF keeps its
    // frames until finish(), which writes them all with the clip's palette.
    Status open(int fd, const std::string& name, const VideoSettings& settings);
    // Creates or truncates `path` and writes to it; the container comes from `name_for_format`.
    Status open(const std::string& path, const std::string& name_for_format, const VideoSettings& settings);
    // Appends one 320 × 200 frame.
    Status add_frame(const uint32_t* pixels);
    // Appends interleaved 16-bit stereo samples (ignored when the settings have no audio).
    Status add_audio(const int16_t* samples, std::size_t frames);
    // Flushes both encoders and writes the container's index.
    Status finish();

    // Which video encoder is used ("libx264" normally).
    std::string video_codec_name() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace gf

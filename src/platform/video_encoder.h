// The show as a video file: 320 × 200 frames scaled up with nearest neighbour
// and encoded as H.264 (yuv420p), the 44.1 kHz stereo sound as AAC, muxed by
// libavformat into the container the file name asks for (.mp4, .mkv, .mov).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace gf {

struct VideoSettings {
    int fps_num = 60;  // frame rate num / den
    int fps_den = 1;
    // Output size: whole multiples of 320 × 200. 1600 × 1200 (5 × 6) shows the
    // 4:3 picture in whole pixels; 1280 × 800 (4 × 4) keeps the pixels square.
    int width = 1600;
    int height = 1200;
    // x264 constant quality 16 is visually lossless on these flat, hard-edged pictures. The
    // ultrafast preset keeps a whole-show capture at 1600 × 1200 faster than the show plays on
    // two cores (veryfast and superfast took 4 and 2.4 times its CPU time); the price is a larger file.
    int crf = 16;
    std::string preset = "ultrafast";
    int audio_bit_rate = 256000;
    int sample_rate = 44100;
};

struct VideoStatus {
    bool ok = true;
    std::string message;  // names the file and what went wrong
};

// Converts one 320 × 200 frame of 0x00RRGGBB pixels to limited-range BT.709
// YUV 4:2:0 at scale_x × scale_y times its size, each source pixel becoming a
// scale_x × scale_y block. Each chroma sample is the mean of the 2 × 2 output
// pixels it covers. Planes have the given row strides in bytes.
void frame_to_yuv420(const uint32_t* pixels, int scale_x, int scale_y, uint8_t* y_plane, int y_stride,
                     uint8_t* u_plane, int u_stride, uint8_t* v_plane, int v_stride);

// BT.709 limited-range conversion of one colour, rounded: Y 16..235, U and V 16..240.
void rgb_to_yuv709(uint32_t pixel, uint8_t& y, uint8_t& u, uint8_t& v);

class VideoEncoder {
public:
    VideoEncoder();
    ~VideoEncoder();  // abandons an unfinished file (closes it; the caller removes it)
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Creates `path`. The container is chosen from `name_for_format` (the final
    // name, whose extension may differ from a temporary `path`).
    VideoStatus open(const std::string& path, const std::string& name_for_format, const VideoSettings& settings);
    // Appends one 320 × 200 frame.
    VideoStatus add_frame(const uint32_t* pixels);
    // Appends interleaved 16-bit stereo samples.
    VideoStatus add_audio(const int16_t* samples, std::size_t frames);
    // Flushes both encoders and writes the container's index.
    VideoStatus finish();

    // Which H.264 encoder is used ("libx264" normally).
    std::string video_codec_name() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace gf

// H.264 + AAC encoding with libavcodec, muxing with libavformat.
#include "platform/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "common/types.h"

namespace gf {

namespace {

constexpr int kAudioChannels = 2;

std::string av_error_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

constexpr int kIoBufferBytes = 256 * 1024;
constexpr int kMaxWidth = 7680;
constexpr int kMaxHeight = 4320;

// The file behind libavformat's I/O context: a descriptor, written and sought directly.
struct FileSink {
    int fd = -1;
    int error = 0;  // errno of the first failed write or seek
};

int write_to_file(void* opaque, uint8_t* data, int size) {
    auto* sink = static_cast<FileSink*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t wrote = ::write(sink->fd, data + done, static_cast<std::size_t>(size - done));
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            sink->error = errno;
            return AVERROR(errno);
        }
        done += static_cast<int>(wrote);
    }
    return size;
}

int64_t seek_in_file(void* opaque, int64_t offset, int whence) {
    auto* sink = static_cast<FileSink*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        struct stat info {};
        return fstat(sink->fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(sink->fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    if (at < 0) {
        sink->error = errno;
        return AVERROR(errno);
    }
    return at;
}

}  // namespace

struct VideoEncoder::State {
    std::string path;
    VideoSettings settings;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* video_stream = nullptr;
    AVStream* audio_stream = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    FileSink file;
    AVIOContext* io = nullptr;
    bool header_written = false;
    bool finished = false;
    int64_t frames_sent = 0;
    int64_t samples_sent = 0;
    std::vector<int16_t> pending;  // interleaved samples not yet making a whole audio frame

    ~State() {
        // An unfinished file is closed as it stands; the caller removes it.
        av_packet_free(&packet);
        av_frame_free(&picture);
        av_frame_free(&sound);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (format != nullptr) {
            format->pb = nullptr;
            avformat_free_context(format);
        }
        release_io();
        if (file.fd >= 0) {
            ::close(file.fd);
        }
    }

    void release_io() {
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    Status fail(const std::string& what) { return {false, path + ": " + what}; }
    Status fail(const std::string& what, int code) { return fail(what + ": " + av_error_text(code)); }

    // A new stream in the container and an encoder context for `codec` to set up.
    Status add_stream(const AVCodec* codec, AVStream*& stream, AVCodecContext*& context) {
        stream = avformat_new_stream(format, nullptr);
        context = avcodec_alloc_context3(codec);
        if (stream == nullptr || context == nullptr) {
            return fail("out of memory");
        }
        if ((format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        return {};
    }

    // Opens the encoder set up in `context`; its stream takes the encoder's parameters and time base.
    Status open_stream(const AVCodec* codec, AVCodecContext* context, AVStream* stream, AVDictionary** options,
                       const std::string& encoder, const char* kind) {
        int result = avcodec_open2(context, codec, options);
        if (result < 0) {
            return fail("cannot open the " + encoder, result);
        }
        result = avcodec_parameters_from_context(stream->codecpar, context);
        if (result < 0) {
            return fail(std::string("cannot set up the ") + kind + " stream", result);
        }
        stream->time_base = context->time_base;
        return {};
    }

    // Moves every packet the encoder has ready into the file.
    Status drain(AVCodecContext* codec, AVStream* stream) {
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) {
                return {};
            }
            if (got < 0) {
                return fail("encoding failed", got);
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(format, packet);
            if (written < 0) {
                return fail("cannot write", written);
            }
        }
    }

    Status send(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
        const int sent = avcodec_send_frame(codec, frame);
        if (sent < 0) {
            return fail("encoding failed", sent);
        }
        return drain(codec, stream);
    }

    // Encodes `count` frames of `pending` (count ≤ frame size) as one audio frame.
    Status send_audio(int count) {
        const int made_writable = av_frame_make_writable(sound);
        if (made_writable < 0) {
            return fail("out of memory", made_writable);
        }
        sound->nb_samples = count;
        float* left = reinterpret_cast<float*>(sound->data[0]);
        float* right = reinterpret_cast<float*>(sound->data[1]);
        for (int i = 0; i < count; ++i) {
            left[i] = static_cast<float>(pending[2 * static_cast<std::size_t>(i)]) / 32768.0f;
            right[i] = static_cast<float>(pending[2 * static_cast<std::size_t>(i) + 1]) / 32768.0f;
        }
        sound->pts = samples_sent;
        samples_sent += count;
        pending.erase(pending.begin(), pending.begin() + 2 * static_cast<std::ptrdiff_t>(count));
        return send(audio, audio_stream, sound);
    }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

std::string VideoEncoder::video_codec_name() const {
    return state_ && state_->video != nullptr && state_->video->codec != nullptr ? state_->video->codec->name : "";
}

namespace {

// What is wrong with the settings or the name's container, if anything, before a file is made.
std::optional<std::string> settings_problem(const std::string& name, const VideoSettings& settings) {
    if (settings.width < kScreenWidth || settings.height < kScreenHeight || settings.width > kMaxWidth ||
        settings.height > kMaxHeight || settings.width % 2 != 0 || settings.height % 2 != 0) {
        return name + ": video size " + std::to_string(settings.width) + " x " + std::to_string(settings.height) +
               " is not even and from 320 x 200 to 7680 x 4320";
    }
    if (settings.fps_num <= 0 || settings.fps_den <= 0) {
        return name + ": bad frame rate";
    }
    if (av_guess_format(nullptr, name.c_str(), nullptr) == nullptr) {
        return name + ": cannot tell the video container from the file name (use .mp4, .mkv or .mov)";
    }
    return std::nullopt;
}

}  // namespace

Status VideoEncoder::open(const std::string& path, const std::string& name_for_format, const VideoSettings& settings) {
    state_.reset();
    if (const auto problem = settings_problem(name_for_format, settings)) {
        return {false, *problem};
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return {false, path + ": cannot create: " + std::strerror(errno)};
    }
    return open(fd, name_for_format, settings);
}

Status VideoEncoder::open(int fd, const std::string& name, const VideoSettings& settings) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.file.fd = fd;
    s.path = name;
    s.settings = settings;
    if (const auto problem = settings_problem(name, settings)) {
        return {false, *problem};
    }
    // The encoders' own chatter (x264's banner and statistics) would garble the progress line.
    av_log_set_level(AV_LOG_ERROR);

    const AVOutputFormat* container = av_guess_format(nullptr, name.c_str(), nullptr);
    int result = avformat_alloc_output_context2(&s.format, container, nullptr, nullptr);
    if (result < 0 || s.format == nullptr) {
        return s.fail("cannot set up the container", result);
    }

    // Video: H.264 through libx264 when this FFmpeg has it, else whatever H.264 encoder it offers.
    const AVCodec* video_codec = avcodec_find_encoder_by_name("libx264");
    if (video_codec == nullptr) {
        video_codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    }
    if (video_codec == nullptr) {
        return s.fail("this FFmpeg has no H.264 encoder (libavcodec built without libx264)");
    }
    if (Status added = s.add_stream(video_codec, s.video_stream, s.video); !added.ok) {
        return added;
    }
    s.video->width = settings.width;
    s.video->height = settings.height;
    s.video->time_base = AVRational{settings.fps_den, settings.fps_num};
    s.video->framerate = AVRational{settings.fps_num, settings.fps_den};
    s.video->pix_fmt = AV_PIX_FMT_YUV420P;
    s.video->gop_size = std::max(1, 2 * settings.fps_num / settings.fps_den);  // a key frame every 2 s
    s.video->color_range = AVCOL_RANGE_MPEG;
    s.video->colorspace = AVCOL_SPC_BT709;
    s.video->color_primaries = AVCOL_PRI_BT709;
    s.video->color_trc = AVCOL_TRC_BT709;
    s.video->sample_aspect_ratio = AVRational{settings.pixel_aspect_num, settings.pixel_aspect_den};
    AVDictionary* video_options = nullptr;
    if (std::strcmp(video_codec->name, "libx264") == 0) {
        av_dict_set(&video_options, "preset", settings.preset.c_str(), 0);
        av_dict_set_int(&video_options, "crf", settings.crf, 0);
        // Arithmetic coding at every preset: ultrafast leaves it out, yet on these blocky
        // pictures it makes the file 20-40 % smaller for about a tenth more CPU time.
        av_dict_set(&video_options, "coder", "cabac", 0);
    }
    Status video_open = s.open_stream(video_codec, s.video, s.video_stream, &video_options,
                                      std::string("video encoder ") + video_codec->name, "video");
    av_dict_free(&video_options);
    if (!video_open.ok) {
        return video_open;
    }
    s.video_stream->sample_aspect_ratio = s.video->sample_aspect_ratio;
    s.video_stream->avg_frame_rate = s.video->framerate;

    // Audio: AAC, planar float as FFmpeg's encoder takes it.
    if (settings.audio) {
        const AVCodec* audio_codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (audio_codec == nullptr) {
            return s.fail("this FFmpeg has no AAC encoder");
        }
        if (Status added = s.add_stream(audio_codec, s.audio_stream, s.audio); !added.ok) {
            return added;
        }
        s.audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        s.audio->sample_rate = settings.sample_rate;
        av_channel_layout_default(&s.audio->ch_layout, kAudioChannels);
        s.audio->bit_rate = settings.audio_bit_rate;
        s.audio->time_base = AVRational{1, settings.sample_rate};
        if (Status opened = s.open_stream(audio_codec, s.audio, s.audio_stream, nullptr, "AAC encoder", "audio");
            !opened.ok) {
            return opened;
        }
    }

    s.picture = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (s.picture == nullptr || s.packet == nullptr) {
        return s.fail("out of memory");
    }
    s.picture->format = s.video->pix_fmt;
    s.picture->width = s.video->width;
    s.picture->height = s.video->height;
    result = av_frame_get_buffer(s.picture, 0);
    if (result < 0) {
        return s.fail("out of memory", result);
    }
    if (s.audio != nullptr) {
        s.sound = av_frame_alloc();
        if (s.sound == nullptr) {
            return s.fail("out of memory");
        }
        s.sound->format = s.audio->sample_fmt;
        s.sound->sample_rate = s.audio->sample_rate;
        s.sound->nb_samples = s.audio->frame_size > 0 ? s.audio->frame_size : 1024;
        result = av_channel_layout_copy(&s.sound->ch_layout, &s.audio->ch_layout);
        if (result >= 0) {
            result = av_frame_get_buffer(s.sound, 0);
        }
        if (result < 0) {
            return s.fail("out of memory", result);
        }
    }

    // Written through our own descriptor: no protocol is ever chosen from the name.
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    s.io = buffer == nullptr
               ? nullptr
               : avio_alloc_context(buffer, kIoBufferBytes, 1, &s.file, nullptr, write_to_file, seek_in_file);
    if (s.io == nullptr) {
        av_free(buffer);
        return s.fail("out of memory");
    }
    s.format->pb = s.io;
    s.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    result = avformat_write_header(s.format, nullptr);
    if (result < 0) {
        return s.fail("cannot write the container header", result);
    }
    s.header_written = true;
    return {};
}

Status VideoEncoder::add_frame(const uint32_t* pixels) {
    if (!state_ || !state_->header_written || state_->finished) {
        return {false, "video encoder not open"};
    }
    State& s = *state_;
    const int made_writable = av_frame_make_writable(s.picture);
    if (made_writable < 0) {
        return s.fail("out of memory", made_writable);
    }
    frame_to_yuv420_sized(pixels, s.settings.width, s.settings.height, s.picture->data[0], s.picture->linesize[0],
                          s.picture->data[1], s.picture->linesize[1], s.picture->data[2], s.picture->linesize[2]);
    s.picture->pts = s.frames_sent++;
    return s.send(s.video, s.video_stream, s.picture);
}

Status VideoEncoder::add_audio(const int16_t* samples, std::size_t frames) {
    if (!state_ || !state_->header_written || state_->finished) {
        return {false, "video encoder not open"};
    }
    State& s = *state_;
    if (s.audio == nullptr) {
        return {};
    }
    s.pending.insert(s.pending.end(), samples, samples + frames * kAudioChannels);
    const int frame_size = s.audio->frame_size > 0 ? s.audio->frame_size : 1024;
    while (s.pending.size() >= static_cast<std::size_t>(frame_size) * kAudioChannels) {
        Status status = s.send_audio(frame_size);
        if (!status.ok) {
            return status;
        }
    }
    return {};
}

Status VideoEncoder::finish() {
    if (!state_ || !state_->header_written || state_->finished) {
        return {false, "video encoder not open"};
    }
    State& s = *state_;
    Status status;
    if (s.audio != nullptr && !s.pending.empty()) {
        const int remaining = static_cast<int>(s.pending.size() / kAudioChannels);
        const bool short_frame_ok =
            (s.audio->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
        const int frame_size = s.audio->frame_size > 0 ? s.audio->frame_size : 1024;
        if (!short_frame_ok) {
            s.pending.resize(static_cast<std::size_t>(frame_size) * kAudioChannels, 0);  // pad with silence
        }
        status = s.send_audio(short_frame_ok ? remaining : frame_size);
        if (!status.ok) {
            return status;
        }
    }
    status = s.send(s.video, s.video_stream, nullptr);
    if (status.ok && s.audio != nullptr) {
        status = s.send(s.audio, s.audio_stream, nullptr);
    }
    if (!status.ok) {
        return status;
    }
    const int trailer = av_write_trailer(s.format);
    if (trailer < 0) {
        return s.fail("cannot finish the file", trailer);
    }
    s.finished = true;
    avio_flush(s.io);
    const int io_error = s.io->error;
    s.format->pb = nullptr;
    s.release_io();
    const int closed = ::close(s.file.fd);
    const int close_errno = errno;
    s.file.fd = -1;
    if (s.file.error != 0) {
        return s.fail(std::string("cannot write: ") + std::strerror(s.file.error));
    }
    if (io_error < 0) {
        return s.fail("cannot write", io_error);
    }
    if (closed != 0) {
        return s.fail(std::string("cannot write: ") + std::strerror(close_errno));
    }
    return {};
}

}  // namespace gf

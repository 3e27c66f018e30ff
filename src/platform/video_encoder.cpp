// Video encoding with libavcodec (H.264 and AAC, VP9 and Opus, GIF), muxing with libavformat.
#include "platform/video_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "common/types.h"
#include "platform/gif_clip.h"

namespace gf {

namespace {

constexpr int kAudioChannels = 2;
constexpr int kOpusSampleRate = 48000;  // Opus codes 48 kHz (or lower rates), never 44.1 kHz
constexpr int kOpusBitRate = 192000;
constexpr int kGifCentiseconds = 4;  // a GIF frame every 4 cs: 25 frames a second, which every viewer honours
// libvpx's real-time mode at its fastest setting: on these pictures of flat 4 x 4 blocks and
// TV noise the slower "good" mode took four to ten times the CPU time for files no sharper.
constexpr int kVp9CpuUsed = 8;
constexpr int kVp9TileColumns = 2;  // log2: up to four tiles side by side, coded in parallel

const VideoContainer kContainers[] = {
    {".mp4", "mp4", VideoCodecs::H264Aac}, {".mkv", "matroska", VideoCodecs::H264Aac},
    {".mov", "mov", VideoCodecs::H264Aac}, {".webm", "webm", VideoCodecs::Vp9Opus},
    {".gif", "gif", VideoCodecs::Gif},
};

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

const VideoContainer* find_video_container(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos) {
        return nullptr;
    }
    std::string extension = name.substr(dot);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const VideoContainer& container : kContainers) {
        if (extension == container.extension) {
            return &container;
        }
    }
    return nullptr;
}

std::string video_extensions_text() {
    std::string text;
    const std::size_t count = std::size(kContainers);
    for (std::size_t i = 0; i < count; ++i) {
        text += i == 0 ? "" : (i + 1 == count ? " or " : ", ");
        text += kContainers[i].extension;
    }
    return text;
}

namespace {

// What a GIF clip needs beside the encoder: its stored frames and the time slot of each.
struct GifFrames {
    GifClip clip;
    std::vector<int64_t> slots;  // in kGifCentiseconds steps
    uint64_t frames_seen = 0;
};

}  // namespace

struct VideoEncoder::State {
    std::string path;
    VideoSettings settings;
    const VideoContainer* container = nullptr;
    std::unique_ptr<GifFrames> gif;
    SwrContext* resampler = nullptr;  // the 44.1 kHz sound to the audio encoder's rate, when they differ
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
    std::vector<int16_t> pending;  // interleaved samples at the encoder's rate, not yet a whole audio frame
    std::vector<int16_t> resampled;

    ~State() {
        // An unfinished file is closed as it stands; the caller removes it.
        av_packet_free(&packet);
        av_frame_free(&picture);
        av_frame_free(&sound);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        swr_free(&resampler);
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

    Status fail(const std::string& what) const { return failed_on(path, what); }
    Status fail(const std::string& what, int code) const { return fail(what + ": " + av_error_text(code)); }

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
        if (audio->sample_fmt == AV_SAMPLE_FMT_S16) {
            std::memcpy(sound->data[0], pending.data(), static_cast<std::size_t>(count) * kAudioChannels * 2);
        } else {
            float* left = reinterpret_cast<float*>(sound->data[0]);
            float* right = reinterpret_cast<float*>(sound->data[1]);
            for (int i = 0; i < count; ++i) {
                left[i] = static_cast<float>(pending[2 * static_cast<std::size_t>(i)]) / 32768.0f;
                right[i] = static_cast<float>(pending[2 * static_cast<std::size_t>(i) + 1]) / 32768.0f;
            }
        }
        sound->pts = samples_sent;
        samples_sent += count;
        pending.erase(pending.begin(), pending.begin() + 2 * static_cast<std::ptrdiff_t>(count));
        return send(audio, audio_stream, sound);
    }

    // Takes 44.1 kHz samples into `pending`, at the encoder's rate; none flushes the resampler.
    Status take_samples(const int16_t* samples, std::size_t frames) {
        if (resampler == nullptr) {
            pending.insert(pending.end(), samples, samples + frames * kAudioChannels);
            return {};
        }
        const int room = swr_get_out_samples(resampler, static_cast<int>(frames));
        if (room < 0) {
            return fail("cannot resample the sound", room);
        }
        resampled.resize(static_cast<std::size_t>(room) * kAudioChannels);
        auto* out = reinterpret_cast<uint8_t*>(resampled.data());
        const auto* in = reinterpret_cast<const uint8_t*>(samples);
        const int made =
            swr_convert(resampler, &out, room, samples == nullptr ? nullptr : &in, static_cast<int>(frames));
        if (made < 0) {
            return fail("cannot resample the sound", made);
        }
        pending.insert(pending.end(), resampled.begin(),
                       resampled.begin() + static_cast<std::ptrdiff_t>(made) * kAudioChannels);
        return {};
    }

    // Sets up the sound's encoder: AAC at the show's rate, or Opus at 48 kHz through a resampler.
    Status add_audio_stream() {
        const bool opus = container->codecs == VideoCodecs::Vp9Opus;
        const AVCodec* codec = opus ? avcodec_find_encoder_by_name("libopus") : avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (codec == nullptr) {
            return fail(opus ? "this FFmpeg has no Opus encoder (libavcodec built without libopus)"
                             : "this FFmpeg has no AAC encoder");
        }
        if (Status added = add_stream(codec, audio_stream, audio); !added.ok) {
            return added;
        }
        const int rate = opus ? kOpusSampleRate : settings.sample_rate;
        audio->sample_fmt = opus ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
        audio->sample_rate = rate;
        av_channel_layout_default(&audio->ch_layout, kAudioChannels);
        audio->bit_rate = opus ? kOpusBitRate : settings.audio_bit_rate;
        audio->time_base = AVRational{1, rate};
        if (rate != settings.sample_rate) {
            AVChannelLayout stereo{};
            av_channel_layout_default(&stereo, kAudioChannels);
            const int made = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, rate, &stereo,
                                                 AV_SAMPLE_FMT_S16, settings.sample_rate, 0, nullptr);
            if (made < 0 || swr_init(resampler) < 0) {
                return fail("cannot set up the sound's resampler");
            }
        }
        return open_stream(codec, audio, audio_stream, nullptr, opus ? "Opus encoder" : "AAC encoder", "audio");
    }

    // Sets the video encoder's own options: x264's preset and quality, VP9's quality and speed.
    void video_options(const AVCodec* codec, AVDictionary** options) const {
        if (std::strcmp(codec->name, "libx264") == 0) {
            av_dict_set(options, "preset", settings.preset.c_str(), 0);
            av_dict_set_int(options, "crf", settings.crf, 0);
            // Arithmetic coding at every preset: ultrafast leaves it out, yet on these blocky
            // pictures it makes the file 20-40 % smaller for about a tenth more CPU time.
            av_dict_set(options, "coder", "cabac", 0);
        } else if (std::strcmp(codec->name, "libvpx-vp9") == 0) {
            // Constant quality: no bit rate target.
            av_dict_set_int(options, "crf", settings.vp9_crf, 0);
            av_dict_set(options, "b", "0", 0);
            if (settings.vp9_crf == 0) {
                av_dict_set(options, "lossless", "1", 0);
            }
            av_dict_set(options, "deadline", "realtime", 0);
            av_dict_set_int(options, "cpu-used", kVp9CpuUsed, 0);
            av_dict_set(options, "row-mt", "1", 0);
            av_dict_set_int(options, "tile-columns", kVp9TileColumns, 0);
        }
    }

    // The container's writer for the name's extension.
    Status open_container() {
        const AVOutputFormat* muxer = av_guess_format(container->muxer, nullptr, nullptr);
        if (muxer == nullptr) {
            return fail(std::string("this FFmpeg has no ") + container->muxer + " writer");
        }
        const int result = avformat_alloc_output_context2(&format, muxer, nullptr, nullptr);
        if (result < 0 || format == nullptr) {
            return fail("cannot set up the container", result);
        }
        return {};
    }

    // H.264 through libx264 when this FFmpeg has it, else whatever H.264 encoder it offers;
    // VP9 through libvpx; GIF through FFmpeg's own encoder. Nothing when it has none of them.
    const AVCodec* find_video_codec() const {
        if (container->codecs == VideoCodecs::H264Aac) {
            const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
            return x264 != nullptr ? x264 : avcodec_find_encoder(AV_CODEC_ID_H264);
        }
        return avcodec_find_encoder_by_name(container->codecs == VideoCodecs::Vp9Opus ? "libvpx-vp9" : "gif");
    }

    // Sets up the video's encoder and stream: size, rate, colours, pixel shape and options.
    Status add_video_stream() {
        const VideoCodecs codecs = container->codecs;
        const AVCodec* codec = find_video_codec();
        if (codec == nullptr) {
            return fail(
                codecs == VideoCodecs::H264Aac   ? "this FFmpeg has no H.264 encoder (libavcodec built without libx264)"
                : codecs == VideoCodecs::Vp9Opus ? "this FFmpeg has no VP9 encoder (libavcodec built without libvpx)"
                                                 : "this FFmpeg has no GIF encoder");
        }
        if (Status added = add_stream(codec, video_stream, video); !added.ok) {
            return added;
        }
        video->width = settings.width;
        video->height = settings.height;
        video->time_base = AVRational{settings.fps_den, settings.fps_num};
        video->framerate = AVRational{settings.fps_num, settings.fps_den};
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->thread_count = 0;  // as many threads as the encoder can use
        if (codecs == VideoCodecs::Gif) {
            video->time_base = AVRational{1, 100};
            video->framerate = AVRational{100, kGifCentiseconds};
            video->pix_fmt = AV_PIX_FMT_PAL8;
            gif = std::make_unique<GifFrames>();
        }
        video->gop_size = std::max(1, 2 * settings.fps_num / settings.fps_den);  // a key frame every 2 s
        video->color_range = AVCOL_RANGE_MPEG;
        video->colorspace = AVCOL_SPC_BT709;
        video->color_primaries = AVCOL_PRI_BT709;
        video->color_trc = AVCOL_TRC_BT709;
        video->sample_aspect_ratio = AVRational{settings.pixel_aspect_num, settings.pixel_aspect_den};
        AVDictionary* options = nullptr;
        video_options(codec, &options);
        Status opened =
            open_stream(codec, video, video_stream, &options, std::string("video encoder ") + codec->name, "video");
        av_dict_free(&options);
        if (!opened.ok) {
            return opened;
        }
        video_stream->sample_aspect_ratio = video->sample_aspect_ratio;
        video_stream->avg_frame_rate = video->framerate;
        return {};
    }

    // The frames the picture and the sound are encoded from, and the packet they come out in.
    Status allocate_frames() {
        picture = av_frame_alloc();
        packet = av_packet_alloc();
        if (picture == nullptr || packet == nullptr) {
            return fail("out of memory");
        }
        picture->format = video->pix_fmt;
        picture->width = video->width;
        picture->height = video->height;
        int result = av_frame_get_buffer(picture, 0);
        if (result < 0) {
            return fail("out of memory", result);
        }
        if (audio == nullptr) {
            return {};
        }
        sound = av_frame_alloc();
        if (sound == nullptr) {
            return fail("out of memory");
        }
        sound->format = audio->sample_fmt;
        sound->sample_rate = audio->sample_rate;
        sound->nb_samples = audio->frame_size > 0 ? audio->frame_size : 1024;
        result = av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
        if (result >= 0) {
            result = av_frame_get_buffer(sound, 0);
        }
        if (result < 0) {
            return fail("out of memory", result);
        }
        return {};
    }

    // Written through our own descriptor: no protocol is ever chosen from the name.
    Status write_header() {
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
        io = buffer == nullptr
                 ? nullptr
                 : avio_alloc_context(buffer, kIoBufferBytes, 1, &file, nullptr, write_to_file, seek_in_file);
        if (io == nullptr) {
            av_free(buffer);
            return fail("out of memory");
        }
        format->pb = io;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
        const int result = avformat_write_header(format, nullptr);
        if (result < 0) {
            return fail("cannot write the container header", result);
        }
        header_written = true;
        return {};
    }

    // Writes every stored GIF frame with the palette chosen from all of them.
    Status write_gif_frames() {
        GifClip& clip = gif->clip;
        clip.choose_palette();
        std::vector<uint8_t> indices(kScreenPixels);
        std::vector<int> source_x(static_cast<std::size_t>(settings.width));
        for (int x = 0; x < settings.width; ++x) {
            source_x[static_cast<std::size_t>(x)] = x * kScreenWidth / settings.width;
        }
        for (std::size_t i = 0; i < clip.frames(); ++i) {
            const int made_writable = av_frame_make_writable(picture);
            if (made_writable < 0) {
                return fail("out of memory", made_writable);
            }
            if (!clip.indices(i, indices.data())) {
                return fail("the GIF's stored frames were damaged in memory");
            }
            for (int y = 0; y < settings.height; ++y) {
                const uint8_t* row =
                    indices.data() + static_cast<std::size_t>(y * kScreenHeight / settings.height) * kScreenWidth;
                uint8_t* out = picture->data[0] + static_cast<std::ptrdiff_t>(y) * picture->linesize[0];
                for (int x = 0; x < settings.width; ++x) {
                    out[x] = row[source_x[static_cast<std::size_t>(x)]];
                }
            }
            auto* colours = reinterpret_cast<uint32_t*>(picture->data[1]);
            for (int entry = 0; entry < AVPALETTE_COUNT; ++entry) {
                const std::size_t at = static_cast<std::size_t>(entry);
                colours[entry] = entry == GifClip::kTransparentIndex ? 0u
                                 : at < clip.palette().size()        ? 0xFF000000u | clip.palette()[at]
                                                                     : 0xFF000000u;
            }
            picture->pts = gif->slots[i] * kGifCentiseconds;
            if (Status sent = send(video, video_stream, picture); !sent.ok) {
                return sent;
            }
        }
        return {};
    }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

std::string VideoEncoder::video_codec_name() const {
    return state_ && state_->video != nullptr && state_->video->codec != nullptr ? state_->video->codec->name : "";
}

namespace {

// Fails, naming the file, when the settings or the name's container cannot make a video,
// before a file is made.
Status check_settings(const std::string& name, const VideoSettings& settings) {
    if (settings.width < kScreenWidth || settings.height < kScreenHeight || settings.width > kMaxWidth ||
        settings.height > kMaxHeight || settings.width % 2 != 0 || settings.height % 2 != 0) {
        return failed_on(name, "video size " + std::to_string(settings.width) + " x " +
                                   std::to_string(settings.height) + " is not even and from 320 x 200 to 7680 x 4320");
    }
    if (settings.fps_num <= 0 || settings.fps_den <= 0) {
        return failed_on(name, "bad frame rate");
    }
    if (find_video_container(name) == nullptr) {
        return failed_on(name, "not a video name this program writes: use " + video_extensions_text());
    }
    return {};
}

}  // namespace

Status VideoEncoder::open(const std::string& path, const std::string& name_for_format, const VideoSettings& settings) {
    state_.reset();
    if (Status usable = check_settings(name_for_format, settings); !usable.ok) {
        return usable;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return failed_on(path, std::string("cannot create: ") + std::strerror(errno));
    }
    return open(fd, name_for_format, settings);
}

Status VideoEncoder::open(int fd, const std::string& name, const VideoSettings& settings) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.file.fd = fd;
    s.path = name;
    s.settings = settings;
    if (Status usable = check_settings(name, settings); !usable.ok) {
        return usable;
    }
    // The encoders' own chatter (x264's banner and statistics) would garble the progress line.
    av_log_set_level(AV_LOG_ERROR);
    s.container = find_video_container(name);
    if (Status opened = s.open_container(); !opened.ok) {
        return opened;
    }
    if (Status added = s.add_video_stream(); !added.ok) {
        return added;
    }
    // Sound, except in a GIF, which has none.
    if (settings.audio && s.container->codecs != VideoCodecs::Gif) {
        if (Status added = s.add_audio_stream(); !added.ok) {
            return added;
        }
    }
    if (Status allocated = s.allocate_frames(); !allocated.ok) {
        return allocated;
    }
    return s.write_header();
}

Status VideoEncoder::add_frame(const uint32_t* pixels) {
    if (!state_ || !state_->header_written || state_->finished) {
        return {false, "video encoder not open"};
    }
    State& s = *state_;
    if (s.gif) {
        // A GIF frame for each 4 cs slot the show reaches; the frame drawn first in a slot stands for it.
        GifFrames& gif = *s.gif;
        const int64_t slot = static_cast<int64_t>(gif.frames_seen * static_cast<uint64_t>(s.settings.fps_den) * 100 /
                                                  (static_cast<uint64_t>(s.settings.fps_num) * kGifCentiseconds));
        ++gif.frames_seen;
        if (!gif.slots.empty() && gif.slots.back() == slot) {
            return {};
        }
        if (!gif.clip.add(pixels)) {
            return s.fail("out of memory for the GIF's frames");
        }
        gif.slots.push_back(slot);
        return {};
    }
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
    if (Status taken = s.take_samples(samples, frames); !taken.ok) {
        return taken;
    }
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
    if (s.gif) {
        status = s.write_gif_frames();
        if (!status.ok) {
            return status;
        }
    }
    if (s.resampler != nullptr) {
        status = s.take_samples(nullptr, 0);
        if (!status.ok) {
            return status;
        }
        const int frame_size = s.audio->frame_size > 0 ? s.audio->frame_size : 1024;
        while (s.pending.size() > static_cast<std::size_t>(frame_size) * kAudioChannels) {
            status = s.send_audio(frame_size);
            if (!status.ok) {
                return status;
            }
        }
    }
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

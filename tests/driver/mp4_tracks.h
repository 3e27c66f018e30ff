// Reads the presented length of the video and the sound track of an MP4 file
// straight from its boxes (moov/trak/mdia/mdhd, hdlr, edts/elst), so tests can
// check a capture's file without the library that wrote it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gf::test {

struct Mp4Lengths {
    bool ok = false;  // both tracks found
    double video_seconds = 0;
    double audio_seconds = 0;
};

namespace mp4_detail {

inline uint32_t be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint64_t be64(const uint8_t* p) { return (uint64_t{be32(p)} << 32) | be32(p + 4); }

struct Track {
    std::string handler;  // "vide", "soun"
    uint32_t timescale = 0;
    uint64_t duration = 0;
    bool edited = false;
    uint64_t edit_duration = 0;  // in the movie's timescale
};

inline void walk(const std::vector<uint8_t>& f, std::size_t from, std::size_t to, std::vector<Track>& tracks,
                 uint32_t& movie_timescale) {
    std::size_t at = from;
    while (at + 8 <= to) {
        uint64_t size = be32(&f[at]);
        const std::string type(reinterpret_cast<const char*>(&f[at + 4]), 4);
        std::size_t header = 8;
        if (size == 1 && at + 16 <= to) {
            size = be64(&f[at + 8]);
            header = 16;
        } else if (size == 0) {
            size = to - at;
        }
        if (size < header || size > to - at) {
            return;
        }
        const std::size_t body = at + header;
        const std::size_t end = at + static_cast<std::size_t>(size);
        const bool v1 = body < end && f[body] == 1;
        if (type == "moov" || type == "trak" || type == "mdia" || type == "edts") {
            if (type == "trak") {
                tracks.emplace_back();
            }
            walk(f, body, end, tracks, movie_timescale);
        } else if (type == "mvhd" && body + 24 <= end) {
            movie_timescale = be32(&f[body + (v1 ? 20 : 12)]);
        } else if (type == "elst" && !tracks.empty() && body + 8 <= end) {
            // Edits skip the audio encoder's priming samples; an empty edit (media time −1) is a gap.
            const uint32_t entries = be32(&f[body + 4]);
            const std::size_t entry_size = v1 ? 20 : 12;
            tracks.back().edited = true;
            for (uint32_t i = 0; i < entries && body + 8 + (i + 1) * entry_size <= end; ++i) {
                const uint8_t* e = &f[body + 8 + i * entry_size];
                const uint64_t segment = v1 ? be64(e) : be32(e);
                const int64_t media_time = v1 ? static_cast<int64_t>(be64(e + 8)) : static_cast<int32_t>(be32(e + 4));
                if (media_time >= 0) {
                    tracks.back().edit_duration += segment;
                }
            }
        } else if (type == "mdhd" && !tracks.empty() && body + (v1 ? 32 : 20) <= end) {
            tracks.back().timescale = be32(&f[body + (v1 ? 20 : 12)]);
            tracks.back().duration = v1 ? be64(&f[body + 24]) : be32(&f[body + 16]);
        } else if (type == "hdlr" && !tracks.empty() && body + 12 <= end) {
            tracks.back().handler.assign(reinterpret_cast<const char*>(&f[body + 8]), 4);
        }
        at = end;
    }
}

}  // namespace mp4_detail

inline Mp4Lengths mp4_track_lengths(const std::vector<uint8_t>& file) {
    std::vector<mp4_detail::Track> tracks;
    uint32_t movie_timescale = 0;
    mp4_detail::walk(file, 0, file.size(), tracks, movie_timescale);
    Mp4Lengths lengths;
    bool video = false;
    bool audio = false;
    for (const auto& t : tracks) {
        if (t.timescale == 0) {
            continue;
        }
        const double seconds = t.edited && movie_timescale != 0 ? static_cast<double>(t.edit_duration) / movie_timescale
                                                                : static_cast<double>(t.duration) / t.timescale;
        if (t.handler == "vide") {
            lengths.video_seconds = seconds;
            video = true;
        } else if (t.handler == "soun") {
            lengths.audio_seconds = seconds;
            audio = true;
        }
    }
    lengths.ok = video && audio;
    return lengths;
}

}  // namespace gf::test

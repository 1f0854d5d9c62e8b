#include "audiofile/FfmpegDecoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

namespace orvex {

namespace {

std::uint32_t formatCodeOf(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_AAC:
        case AV_CODEC_ID_AAC_LATM: return kFormatAAC;
        case AV_CODEC_ID_ALAC: return kFormatALAC;
        case AV_CODEC_ID_MP3:
        case AV_CODEC_ID_MP2:
        case AV_CODEC_ID_MP1: return kFormatMP3;
        case AV_CODEC_ID_FLAC: return kFormatFLAC;
        case AV_CODEC_ID_VORBIS: return kFormatVorbis;
        case AV_CODEC_ID_OPUS: return kFormatOpus;
        case AV_CODEC_ID_PCM_MULAW: return kFormatULaw;
        case AV_CODEC_ID_PCM_ALAW: return kFormatALaw;
        default: return kFormatOther;
    }
}

// Linear PCM codecs report their sample width; everything else counts as compressed.
std::int32_t bitsOf(AVCodecID codec) {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
    const bool linear = descriptor && codec >= AV_CODEC_ID_PCM_S16LE && codec < AV_CODEC_ID_ADPCM_IMA_QT &&
                        codec != AV_CODEC_ID_PCM_MULAW && codec != AV_CODEC_ID_PCM_ALAW;
    return linear ? av_get_bits_per_sample(codec) : 0;
}

}  // namespace

// Everything FFmpeg needs for one pass through the file; re-created to rewind.
struct FfmpegDecoder::Session {
    AVFormatContext* container = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    int channels = 0;
    bool draining = false;
    bool finished = false;
    std::vector<float> pending;  // converted frames not yet handed out (interleaved)
    std::size_t pendingOffset = 0;

    ~Session() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&resampler);
        avcodec_free_context(&codec);
        avformat_close_input(&container);
    }

    Status open(const std::string& path) {
        // FFmpeg's log level is process-wide: quieten it once, before the first open.
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
        if (int err = avformat_open_input(&container, path.c_str(), nullptr, nullptr); err < 0) return err;
        if (int err = avformat_find_stream_info(container, nullptr); err < 0) return err;
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (stream < 0) return stream;
        codec = avcodec_alloc_context3(decoder);
        if (!codec) return AVERROR(ENOMEM);
        if (int err = avcodec_parameters_to_context(codec, container->streams[stream]->codecpar); err < 0) return err;
        if (int err = avcodec_open2(codec, decoder, nullptr); err < 0) return err;
        channels = codec->ch_layout.nb_channels;
        if (channels <= 0 || codec->sample_rate <= 0) return AVERROR_INVALIDDATA;
        if (int err = swr_alloc_set_opts2(&resampler, &codec->ch_layout, AV_SAMPLE_FMT_FLT, codec->sample_rate,
                                          &codec->ch_layout, codec->sample_fmt, codec->sample_rate, 0, nullptr);
            err < 0)
            return err;
        if (int err = swr_init(resampler); err < 0) return err;
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        return packet && frame ? 0 : AVERROR(ENOMEM);
    }

    FrameCount lengthInFrames() const {
        const AVStream* st = container->streams[stream];
        const AVRational perFrame{1, codec->sample_rate};
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0) return av_rescale_q(st->duration, st->time_base, perFrame);
        if (container->duration != AV_NOPTS_VALUE && container->duration > 0)
            return av_rescale_q(container->duration, AV_TIME_BASE_Q, perFrame);
        return 0;
    }

    // Converts the decoded frame and appends it to the pending samples.
    Status takeFrame() {
        const int capacity = swr_get_out_samples(resampler, frame->nb_samples);
        const std::size_t kept = pending.size() - pendingOffset;
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pendingOffset));
        pendingOffset = 0;
        pending.resize(kept + static_cast<std::size_t>(capacity) * channels);
        auto* target = reinterpret_cast<std::uint8_t*>(pending.data() + kept);
        const int got = swr_convert(resampler, &target, capacity, const_cast<const std::uint8_t**>(frame->extended_data),
                                    frame->nb_samples);
        if (got < 0) return got;
        pending.resize(kept + static_cast<std::size_t>(got) * channels);
        return 0;
    }

    // Decodes until some frames are pending or the stream is over.
    Status decodeMore() {
        while (!finished) {
            const int received = avcodec_receive_frame(codec, frame);
            if (received == 0) {
                const Status status = takeFrame();
                av_frame_unref(frame);
                return status;
            }
            if (received == AVERROR_EOF) {
                finished = true;
                return 0;
            }
            if (received != AVERROR(EAGAIN)) return received;
            if (const Status status = feedPacket()) return status;
        }
        return 0;
    }

    Status feedPacket() {
        if (draining) return AVERROR_EOF;
        for (;;) {
            const int err = av_read_frame(container, packet);
            if (err == AVERROR_EOF) {
                draining = true;
                return avcodec_send_packet(codec, nullptr);
            }
            if (err < 0) return err;
            if (packet->stream_index != stream) {
                av_packet_unref(packet);
                continue;
            }
            const int sent = avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
            // Damaged packets are skipped rather than ending the whole read.
            return sent == AVERROR_INVALIDDATA ? 0 : sent;
        }
    }
};

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const std::string& path, Status& status) {
    auto session = std::make_unique<Session>();
    status = session->open(path);
    if (status != 0) return nullptr;
    return std::unique_ptr<FfmpegDecoder>(new FfmpegDecoder(path, std::move(session)));
}

FfmpegDecoder::FfmpegDecoder(std::string path, std::unique_ptr<Session> session)
    : mPath(std::move(path)), mSession(std::move(session)) {
    const AVCodecID codec = mSession->codec->codec_id;
    mFormat.sampleRate = mSession->codec->sample_rate;
    mFormat.channels = mSession->channels;
    mFormat.bitsPerChannel = bitsOf(codec);
    mFormat.formatID = bitsOf(codec) ? kFormatLinearPCM : formatCodeOf(codec);
    mFormat.length = mSession->lengthInFrames();
}

FfmpegDecoder::~FfmpegDecoder() = default;

std::int64_t FfmpegDecoder::read(float* out, FrameCount n, Status& status) {
    Session& s = *mSession;
    FrameCount done = 0;
    while (done < n) {
        const std::size_t available = (s.pending.size() - s.pendingOffset) / s.channels;
        if (available == 0) {
            if (s.finished) break;
            if (const Status err = s.decodeMore()) {
                status = err;
                return -1;
            }
            continue;
        }
        const std::size_t take = std::min<std::size_t>(available, static_cast<std::size_t>(n - done));
        std::memcpy(out + done * s.channels, s.pending.data() + s.pendingOffset, take * s.channels * sizeof(float));
        s.pendingOffset += take * s.channels;
        done += static_cast<FrameCount>(take);
    }
    mPosition += done;
    return done;
}

Status FfmpegDecoder::seek(FramePos position) {
    if (position < 0) return -1;
    if (position < mPosition) {
        auto fresh = std::make_unique<Session>();
        if (const Status status = fresh->open(mPath)) return status;
        mSession = std::move(fresh);
        mPosition = 0;
    }
    return skipForward(position - mPosition);
}

}  // namespace orvex

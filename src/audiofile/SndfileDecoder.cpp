#include "audiofile/SndfileDecoder.h"

#include <cstring>
#include <vector>

namespace orvex {

namespace {

// Bits per channel of linear PCM subtypes; 0 for everything compressed. FLAC counts as
// compressed so that a FLAC source always gets a converted working file.
std::int32_t bitsOfSubtype(int major, int subtype) {
    if (major == SF_FORMAT_FLAC) return 0;
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return 8;
        case SF_FORMAT_PCM_16: return 16;
        case SF_FORMAT_PCM_24: return 24;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 32;
        case SF_FORMAT_DOUBLE: return 64;
        default: return 0;
    }
}

std::uint32_t formatCodeOf(int major, int subtype) {
    if (major == SF_FORMAT_FLAC) return kFormatFLAC;
    switch (subtype) {
        case SF_FORMAT_VORBIS: return kFormatVorbis;
        case SF_FORMAT_OPUS: return kFormatOpus;
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III: return kFormatMP3;
        case SF_FORMAT_ALAC_16:
        case SF_FORMAT_ALAC_20:
        case SF_FORMAT_ALAC_24:
        case SF_FORMAT_ALAC_32: return kFormatALAC;
        case SF_FORMAT_ULAW: return kFormatULaw;
        case SF_FORMAT_ALAW: return kFormatALaw;
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
        case SF_FORMAT_G721_32:
        case SF_FORMAT_G723_24:
        case SF_FORMAT_G723_40:
        case SF_FORMAT_VOX_ADPCM:
        case SF_FORMAT_NMS_ADPCM_16:
        case SF_FORMAT_NMS_ADPCM_24:
        case SF_FORMAT_NMS_ADPCM_32: return kFormatADPCM;
        default: return bitsOfSubtype(major, subtype) ? kFormatLinearPCM : kFormatOther;
    }
}

// Frames counted by decoding, for files whose header does not say (streamed FLAC).
FrameCount countFrames(SNDFILE* file, int channels) {
    std::vector<float> scratch(static_cast<std::size_t>(4096) * channels);
    FrameCount total = 0;
    for (sf_count_t got; (got = sf_readf_float(file, scratch.data(), 4096)) > 0;) total += got;
    sf_seek(file, 0, SEEK_SET);
    return total;
}

}  // namespace

std::unique_ptr<SndfileDecoder> SndfileDecoder::open(const std::string& path, Status& status) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        status = sf_error(nullptr);
        if (status == 0) status = -1;
        return nullptr;
    }
    status = 0;
    return std::unique_ptr<SndfileDecoder>(new SndfileDecoder(path, file, info));
}

SndfileDecoder::SndfileDecoder(std::string path, SNDFILE* file, const SF_INFO& info)
    : mPath(std::move(path)), mFile(file), mInfo(info) {
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    mFormat.sampleRate = info.samplerate;
    mFormat.channels = info.channels;
    mFormat.bitsPerChannel = bitsOfSubtype(major, subtype);
    mFormat.formatID = formatCodeOf(major, subtype);
    mFormat.length = info.frames == SF_COUNT_MAX ? countFrames(file, info.channels) : info.frames;
}

SndfileDecoder::~SndfileDecoder() {
    if (mFile) sf_close(mFile);
}

std::int64_t SndfileDecoder::read(float* out, FrameCount n, Status& status) {
    if (!mFile) {
        status = -1;
        return -1;
    }
    const sf_count_t got = sf_readf_float(mFile, out, n);
    if (got < 0 || (got == 0 && sf_error(mFile) != SF_ERR_NO_ERROR)) {
        status = sf_error(mFile);
        if (status == 0) status = -1;
        return -1;
    }
    mPosition += got;
    return got;
}

bool SndfileDecoder::seeksExactly() const { return mFormat.formatID != kFormatVorbis; }

Status SndfileDecoder::reopen() {
    if (mFile) sf_close(mFile);
    SF_INFO info{};
    mFile = sf_open(mPath.c_str(), SFM_READ, &info);
    mPosition = 0;
    if (!mFile) return sf_error(nullptr) ? sf_error(nullptr) : -1;
    return 0;
}

Status SndfileDecoder::seek(FramePos position) {
    if (position < 0) return -1;
    if (!mFile) return -1;
    if (position == mPosition) return 0;
    if (!seeksExactly()) {
        if (position < mPosition) {
            if (const Status status = reopen()) return status;
        }
        return skipForward(position - mPosition);
    }
    // libsndfile refuses positions past the end; park at the end instead.
    const FramePos target = std::min<FramePos>(position, mFormat.length);
    if (sf_seek(mFile, target, SEEK_SET) < 0) {
        const Status status = sf_error(mFile);
        return status ? status : -1;
    }
    mPosition = target;
    return 0;
}

std::vector<std::uint8_t> SndfileDecoder::chunk(std::uint32_t id, std::int32_t index) {
    if (!mFile || index < 0) return {};
    SF_CHUNK_INFO info{};
    for (int i = 0; i < 4; ++i) info.id[i] = static_cast<char>((id >> (24 - 8 * i)) & 0xff);
    info.id_size = 4;
    SF_CHUNK_ITERATOR* iterator = sf_get_chunk_iterator(mFile, &info);
    for (std::int32_t i = 0; iterator && i < index; ++i) iterator = sf_next_chunk_iterator(iterator);
    if (!iterator) return {};
    SF_CHUNK_INFO found{};
    if (sf_get_chunk_size(iterator, &found) != SF_ERR_NO_ERROR || found.datalen == 0) return {};
    std::vector<std::uint8_t> bytes(found.datalen);
    found.data = bytes.data();
    if (sf_get_chunk_data(iterator, &found) != SF_ERR_NO_ERROR) return {};
    bytes.resize(found.datalen);
    return bytes;
}

}  // namespace orvex

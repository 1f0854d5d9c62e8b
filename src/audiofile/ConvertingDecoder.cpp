#include "audiofile/ConvertingDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace orvex {

namespace {

constexpr FrameCount kInputBlock = 8192;
// Input frames fed before a restart position; the converter's output for them is discarded.
constexpr FrameCount kPreRoll = 4096;

void mapChannels(const float* in, std::int32_t inChannels, float* out, std::int32_t outChannels, FrameCount frames) {
    for (FrameCount i = 0; i < frames; ++i) {
        const float* frameIn = in + i * inChannels;
        float* frameOut = out + i * outChannels;
        if (outChannels == 1) {
            float sum = 0.0f;
            for (std::int32_t c = 0; c < inChannels; ++c) sum += frameIn[c];
            frameOut[0] = sum / static_cast<float>(inChannels);
        } else {
            for (std::int32_t c = 0; c < outChannels; ++c) frameOut[c] = frameIn[c % inChannels];
        }
    }
}

bool isWholeNumber(double value) { return value > 0 && value == std::floor(value) && value < 1e9; }

}  // namespace

std::unique_ptr<ConvertingDecoder> ConvertingDecoder::create(std::unique_ptr<DecoderBackend> source, double rate,
                                                             std::int32_t channels, Status& status) {
    status = -1;
    if (!source || channels <= 0 || !(rate > 0) || source->format().channels <= 0 || !(source->format().sampleRate > 0))
        return nullptr;
    std::unique_ptr<ConvertingDecoder> decoder(new ConvertingDecoder(std::move(source), rate, channels));
    if (decoder->mRatio != 1.0) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        soxr_error_t error = nullptr;
        decoder->mResampler = soxr_create(decoder->mSource->format().sampleRate, rate, static_cast<unsigned>(channels),
                                          &error, &io, &quality, nullptr);
        if (error || !decoder->mResampler) return nullptr;
    }
    status = 0;
    return decoder;
}

ConvertingDecoder::ConvertingDecoder(std::unique_ptr<DecoderBackend> source, double rate, std::int32_t channels)
    : mSource(std::move(source)) {
    const DecodedFormat& in = mSource->format();
    mRatio = rate / in.sampleRate;
    mFormat = in;
    mFormat.sampleRate = rate;
    mFormat.channels = channels;
    mFormat.length = static_cast<FrameCount>(std::llround(static_cast<double>(in.length) * mRatio));
    if (isWholeNumber(rate) && isWholeNumber(in.sampleRate)) {
        const auto out = static_cast<FrameCount>(rate);
        const auto inRate = static_cast<FrameCount>(in.sampleRate);
        const FrameCount divisor = std::gcd(out, inRate);
        mInputStep = inRate / divisor;
        mOutputStep = out / divisor;
    }
}

ConvertingDecoder::~ConvertingDecoder() {
    if (mResampler) soxr_delete(mResampler);
}

std::vector<std::uint8_t> ConvertingDecoder::chunk(std::uint32_t id, std::int32_t index) {
    return mSource->chunk(id, index);
}

std::int64_t ConvertingDecoder::readMapped(float* out, FrameCount n, Status& status) {
    const std::int32_t inChannels = mSource->format().channels;
    if (inChannels == mFormat.channels) return mSource->read(out, n, status);
    mSourceScratch.resize(static_cast<std::size_t>(n) * inChannels);
    const std::int64_t got = mSource->read(mSourceScratch.data(), n, status);
    if (got > 0) mapChannels(mSourceScratch.data(), inChannels, out, mFormat.channels, got);
    return got;
}

bool ConvertingDecoder::refillInput(Status& status) {
    mInput.resize(static_cast<std::size_t>(kInputBlock) * mFormat.channels);
    const std::int64_t got = readMapped(mInput.data(), kInputBlock, status);
    if (got < 0) return false;
    mInputOffset = 0;
    mInputFill = got;
    mSourceEnded = got == 0;
    return true;
}

std::int64_t ConvertingDecoder::readResampled(float* out, FrameCount n, Status& status) {
    const std::int32_t channels = mFormat.channels;
    FrameCount produced = 0;
    while (produced < n && !mFlushed) {
        if (mInputOffset == mInputFill && !mSourceEnded && !refillInput(status)) return -1;
        std::size_t consumed = 0, written = 0;
        float* target = out + produced * channels;
        const auto room = static_cast<std::size_t>(n - produced);
        soxr_error_t error;
        if (mSourceEnded) {
            // A null input tells the converter the stream is over and lets it drain its delay.
            error = soxr_process(mResampler, nullptr, 0, nullptr, target, room, &written);
            mFlushed = error == nullptr && written == 0;
        } else {
            error = soxr_process(mResampler, mInput.data() + mInputOffset * channels,
                                 static_cast<std::size_t>(mInputFill - mInputOffset), &consumed, target, room, &written);
        }
        if (error) {
            status = -1;
            return -1;
        }
        mInputOffset += static_cast<FrameCount>(consumed);
        produced += static_cast<FrameCount>(written);
    }
    return produced;
}

std::int64_t ConvertingDecoder::read(float* out, FrameCount n, Status& status) {
    const std::int64_t got = mResampler ? readResampled(out, n, status) : readMapped(out, n, status);
    if (got > 0) mPosition += got;
    return got;
}

Status ConvertingDecoder::restartConverterBefore(FramePos position) {
    FramePos inputStart = 0, outputStart = 0;
    if (mInputStep > 0) {
        const auto inputTarget = static_cast<FramePos>(std::floor(static_cast<double>(position) / mRatio)) - kPreRoll;
        const FramePos steps = std::max<FramePos>(0, inputTarget / mInputStep);
        inputStart = steps * mInputStep;
        outputStart = steps * mOutputStep;
    }
    if (const Status status = mSource->seek(inputStart)) return status;
    soxr_clear(mResampler);
    mInputFill = mInputOffset = 0;
    mSourceEnded = mFlushed = false;
    mPosition = outputStart;
    return 0;
}

Status ConvertingDecoder::seek(FramePos position) {
    if (position < 0) return -1;
    if (position == mPosition) return 0;
    if (!mResampler) {
        const Status status = mSource->seek(position);
        if (status == 0) mPosition = position;
        return status;
    }
    if (const Status status = restartConverterBefore(position)) return status;
    return skipForward(position - mPosition);
}

}  // namespace orvex

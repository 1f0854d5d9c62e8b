#include "audiofile/KVAudioFileWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>

#include "audiofile/ChannelBuffers.h"
#include "audiofile/WaveFileOutput.h"

namespace orvex {

namespace {

// Status code of a file type or sample format this writer cannot produce.
constexpr Status kUnsupportedFormat = static_cast<Status>(fourCC("fmt?"));

// The status as four characters, as printf's "%-4.4s" would show the big-endian code: up to
// the first NUL byte, padded with spaces to four.
std::string statusChars(Status status) {
    std::string chars;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(status) >> (24 - 8 * i)) & 0xff);
        if (c == '\0') break;
        chars += c;
    }
    chars.resize(4, ' ');
    return chars;
}

std::atomic<bool> gDiagnostics{true};

void reportFailure(const char* what, Status status) {
    if (!gDiagnostics.load()) return;
    std::fprintf(stderr, "%s FAILED! %d '%s'\n", what, status, statusChars(status).c_str());
}

// The ceiling of the clipping rule: 0.999, or the largest value the format holds.
inline float ceilingFor(std::int32_t bits, bool fullRange) {
    return fullRange ? static_cast<float>(1.0 - std::ldexp(1.0, -(bits - 1))) : KVAudioFileWriter::kClipCeiling;
}

// Clips in place to [-1.0, ceiling]: above it becomes the ceiling, below -1.0 or NaN becomes -1.0.
inline float clipSample(float& sample, float ceiling) {
    if (sample > ceiling) sample = ceiling;
    else if (!(sample >= -1.0f)) sample = -1.0f;
    return sample;
}

// The sample clipped to [-1.0, ceiling] and rounded to the nearest of the steps 1 / scale, within
// the format's integers -scale .. scale - 1.
inline std::int64_t quantise(float sample, double scale, float ceiling) {
    clipSample(sample, ceiling);
    const auto value = static_cast<std::int64_t>(std::lrint(sample * scale));
    return std::clamp<std::int64_t>(value, static_cast<std::int64_t>(-scale), static_cast<std::int64_t>(scale) - 1);
}

// Little-endian signed integer of width bytes (8-bit WAVE samples are unsigned by convention).
inline void encodeSample(std::int64_t value, int width, std::uint8_t* out) {
    if (width == 1) value += 128;
    for (int b = 0; b < width; ++b) out[b] = static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> (8 * b)) & 0xff);
}

}  // namespace

bool KVAudioFileWriter::clips(float sample, std::int32_t bits, bool fullRange) {
    return !(sample >= -1.0f && sample <= ceilingFor(bits, fullRange));
}

std::int64_t KVAudioFileWriter::integerSample(float sample, std::int32_t bits, bool fullRange) {
    return quantise(sample, std::ldexp(1.0, bits - 1), ceilingFor(bits, fullRange));
}

struct KVAudioFileWriter::Impl {
    std::unique_ptr<WaveFileOutput> output;
    WaveFormatPCM format{};
    std::vector<std::uint8_t> encoded;
};

void KVAudioFileWriter::setDiagnostics(bool on) { gDiagnostics = on; }

KVAudioFileWriter::KVAudioFileWriter() = default;

KVAudioFileWriter::~KVAudioFileWriter() { closeFile(); }

std::unique_ptr<KVAudioFileWriter> KVAudioFileWriter::initWithFile(const std::string& path, double sr,
                                                                   std::int32_t channels, std::int32_t bits,
                                                                   std::uint32_t type) {
    auto writer = std::make_unique<KVAudioFileWriter>();
    if (writer->createFileAtPath(path, sr, channels, bits, type) != 0) return nullptr;
    return writer;
}

// A ":" in the file name is kept as it is: unlike the "/" of some platforms' name
// conventions, it is an ordinary character in a Linux file name.
Status KVAudioFileWriter::createFileAtPath(const std::string& path, double sr, std::int32_t channels,
                                           std::int32_t bits, std::uint32_t type) {
    closeFile();
    mClippedSamples = 0;
    const std::filesystem::path target(path);
    std::error_code ec;
    if (std::filesystem::is_regular_file(target, ec) || std::filesystem::is_symlink(target, ec))
        ::unlink(path.c_str());
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    if (target.filename().empty() || !std::filesystem::is_directory(folder, ec)) {
        if (gDiagnostics.load()) std::fprintf(stderr, "Cannot convert path\n");
        return ENOENT;
    }
    const std::int32_t width = bits / 8;
    const bool known = type == kTypeWAVE && width >= 1 && width <= 4 && channels > 0 && channels <= 0xffff &&
                       sr >= 1.0 && sr <= 4.0e9;
    if (!known) {
        reportFailure("AudioFileCreate", kUnsupportedFormat);
        return kUnsupportedFormat;
    }
    auto impl = std::make_unique<Impl>();
    impl->format = {kWaveFormatPCM,
                    static_cast<std::uint16_t>(channels),
                    static_cast<std::uint32_t>(std::lrint(sr)),
                    static_cast<std::uint32_t>(std::lrint(sr)) * static_cast<std::uint32_t>(channels * width),
                    static_cast<std::uint16_t>(channels * width),
                    static_cast<std::uint16_t>(width * 8)};
    int error = 0;
    impl->output = WaveFileOutput::create(path, impl->format, error);
    if (!impl->output) {
        reportFailure("AudioFileCreate", error);
        return error;
    }
    mImpl = std::move(impl);
    mAudioChannels = static_cast<std::uint32_t>(channels);
    return 0;
}

Status KVAudioFileWriter::writeFrames(FrameCount n, float** buffers) {
    if (!buffers || n <= 0 || !mImpl) return -1;
    const int width = mImpl->format.bitsPerSample / 8;
    const std::uint32_t channels = mAudioChannels;
    std::vector<std::uint8_t>& encoded = mImpl->encoded;
    try {
        encoded.resize(static_cast<std::size_t>(n) * channels * width);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const float ceiling = ceilingFor(width * 8, mFullRange);
    const double scale = std::ldexp(1.0, 8 * width - 1);
    for (std::uint32_t c = 0; c < channels; ++c) {
        float* channel = buffers[c];
        std::uint8_t* out = encoded.data() + static_cast<std::size_t>(c) * width;
        const std::size_t stride = static_cast<std::size_t>(channels) * width;
        for (FrameCount i = 0; i < n; ++i, out += stride) {
            if (!channel) {
                encodeSample(0, width, out);
                continue;
            }
            if (!(channel[i] >= -1.0f && channel[i] <= ceiling)) ++mClippedSamples;
            encodeSample(quantise(clipSample(channel[i], ceiling), scale, ceiling), width, out);
        }
    }
    const Status status = mImpl->output->appendAudio(encoded.data(), encoded.size());
    if (status != 0) reportFailure("ExtAudioFileWrite", status);
    return status;
}

void KVAudioFileWriter::setUserData(const void* data, std::uint32_t id, std::int32_t index, std::uint32_t size) {
    (void)index;  // every chunk this system stores is the first of its kind
    if (!mImpl || !data || size == 0) return;
    mImpl->output->addChunk(id, data, size);
}

Status KVAudioFileWriter::closeFile() {
    if (!mImpl) return 0;
    const Status status = mImpl->output->finish();
    mImpl.reset();
    std::fflush(nullptr);
    return status;
}

float** KVAudioFileWriter::allocateBuffersForChannels(std::int32_t channels, std::int32_t length) {
    return ChannelBuffers::allocate(channels, length);
}

void KVAudioFileWriter::freeBuffers(float** buffers, std::int32_t channels) { ChannelBuffers::release(buffers, channels); }

}  // namespace orvex

#include "audiofile/WaveFileOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace orvex {

namespace {

void setId(char (&target)[4], std::uint32_t id) {
    for (int i = 0; i < 4; ++i) target[i] = static_cast<char>((id >> (24 - 8 * i)) & 0xff);
}

}  // namespace

std::unique_ptr<WaveFileOutput> WaveFileOutput::create(const std::string& path, const WaveFormatPCM& format,
                                                       int& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    std::unique_ptr<WaveFileOutput> output(new WaveFileOutput(fd, format));
    error = output->layHeader();
    if (error != 0) {
        output.reset();
        ::unlink(path.c_str());
        return nullptr;
    }
    return output;
}

WaveFileOutput::WaveFileOutput(int fd, const WaveFormatPCM& format) : mFd(fd), mFormat(format) {}

WaveFileOutput::~WaveFileOutput() { finish(); }

int WaveFileOutput::writeAt(std::uint64_t offset, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        const ssize_t written = ::pwrite(mFd, bytes, length, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        bytes += written;
        offset += static_cast<std::uint64_t>(written);
        length -= static_cast<std::size_t>(written);
    }
    return 0;
}

int WaveFileOutput::writeChunk(std::uint64_t& offset, const Chunk& chunk) {
    RiffChunkHeader header{};
    setId(header.id, chunk.id);
    header.size = static_cast<std::uint32_t>(chunk.bytes.size());
    if (int error = writeAt(offset, &header, sizeof header)) return error;
    offset += sizeof header;
    if (int error = writeAt(offset, chunk.bytes.data(), chunk.bytes.size())) return error;
    offset += chunk.bytes.size();
    if (chunk.bytes.size() & 1) {
        const std::uint8_t pad = 0;
        if (int error = writeAt(offset, &pad, 1)) return error;
        ++offset;
    }
    return 0;
}

// Writes everything before the audio: the file header, "fmt ", the leading chunks and the
// "data" header. Called again while no audio exists yet when chunks were added.
int WaveFileOutput::layHeader() {
    std::uint64_t offset = sizeof(RiffFileHeader);
    RiffChunkHeader fmt{};
    setId(fmt.id, 0x666d7420);  // "fmt "
    fmt.size = sizeof(WaveFormatPCM);
    if (int error = writeAt(offset, &fmt, sizeof fmt)) return error;
    offset += sizeof fmt;
    if (int error = writeAt(offset, &mFormat, sizeof mFormat)) return error;
    offset += sizeof mFormat;
    for (const Chunk& chunk : mLeadingChunks)
        if (int error = writeChunk(offset, chunk)) return error;
    RiffChunkHeader data{};
    setId(data.id, 0x64617461);  // "data"
    if (int error = writeAt(offset, &data, sizeof data)) return error;
    mDataOffset = offset + sizeof data;
    mHeaderCurrent = true;
    RiffFileHeader file{};
    setId(file.riff.id, 0x52494646);  // "RIFF"
    setId(file.form, 0x57415645);     // "WAVE"
    file.riff.size = static_cast<std::uint32_t>(mDataOffset - 8);
    return writeAt(0, &file, sizeof file);
}

void WaveFileOutput::addChunk(std::uint32_t id, const void* data, std::uint32_t size) {
    if (mFd < 0 || !data || size == 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Chunk chunk{id, std::vector<std::uint8_t>(bytes, bytes + size)};
    if (mDataBytes == 0) {
        mLeadingChunks.push_back(std::move(chunk));
        mHeaderCurrent = false;
    } else {
        mTrailingChunks.push_back(std::move(chunk));
    }
}

int WaveFileOutput::appendAudio(const std::uint8_t* bytes, std::size_t length) {
    if (mFd < 0) return EBADF;
    if (!mHeaderCurrent)
        if (int error = layHeader()) return error;
    if (mDataOffset + mDataBytes + length > std::numeric_limits<std::uint32_t>::max()) return EFBIG;
    const int error = writeAt(mDataOffset + mDataBytes, bytes, length);
    if (error == 0) mDataBytes += length;
    return error;
}

int WaveFileOutput::patchSizes(std::uint64_t end) {
    const auto riffSize = static_cast<std::uint32_t>(end - 8);
    const auto dataSize = static_cast<std::uint32_t>(mDataBytes);
    if (int error = writeAt(4, &riffSize, sizeof riffSize)) return error;
    return writeAt(mDataOffset - 4, &dataSize, sizeof dataSize);
}

// The audio is made valid first (sizes patched to end after the data), so a failure while
// appending the trailing chunks still leaves a readable file.
int WaveFileOutput::finish() {
    if (mFd < 0) return 0;
    int error = mHeaderCurrent ? 0 : layHeader();
    std::uint64_t offset = mDataOffset + mDataBytes;
    if (error == 0 && (mDataBytes & 1)) {
        const std::uint8_t pad = 0;
        error = writeAt(offset++, &pad, 1);
    }
    if (error == 0 && ::ftruncate(mFd, static_cast<off_t>(offset)) != 0) error = errno;
    if (error == 0) error = patchSizes(offset);
    for (const Chunk& chunk : mTrailingChunks)
        if (error == 0) error = writeChunk(offset, chunk);
    if (error == 0 && !mTrailingChunks.empty()) error = patchSizes(offset);
    if (::close(mFd) != 0 && error == 0) error = errno;
    mFd = -1;
    return error;
}

}  // namespace orvex

#include "store/RecordChecksums.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "store/Crc32c.h"

namespace orvex {

namespace {

constexpr char kMagic[8] = {'o', 'r', 'v', 'x', 'c', 'r', 'c', '1'};
constexpr std::size_t kSumSize = sizeof(std::uint32_t);

off_t sumOffset(std::int64_t index) {
    return static_cast<off_t>(RecordChecksums::kHeaderSize) + static_cast<off_t>(index) * static_cast<off_t>(kSumSize);
}

bool writeAll(int fd, const void* from, std::size_t length, off_t at) {
    const auto* bytes = static_cast<const char*>(from);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd, bytes + done, length - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t readAll(int fd, void* into, std::size_t length, off_t at) {
    auto* bytes = static_cast<char*>(into);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, bytes + done, length - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// A side file's bytes under path, whole or not at all.
bool writeCopy(const std::string& path, const std::vector<char>& bytes) {
    const int copy = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (copy < 0) return false;
    const bool written = writeAll(copy, bytes.data(), bytes.size(), 0);
    ::close(copy);
    if (!written) ::unlink(path.c_str());
    return written;
}

std::array<char, RecordChecksums::kHeaderSize> headerFor(std::size_t recordSize) {
    std::array<char, RecordChecksums::kHeaderSize> header{};
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    const auto size = static_cast<std::uint32_t>(recordSize);
    std::memcpy(header.data() + sizeof kMagic, &size, sizeof size);  // stored little-endian
    return header;
}

// ORVEX_UNCHECKED_STORE in the environment turns the side files off (none is kept, none is
// read), so that a benchmark can measure what the checks cost against the same commands without
// them. A side file left from an earlier checked run is removed when its data file is written,
// so its sums cannot outlive the bytes they describe.
bool checksumsTurnedOff() {
    static const bool off = std::getenv("ORVEX_UNCHECKED_STORE") != nullptr;
    return off;
}

}  // namespace

RecordChecksums::RecordChecksums(std::string dataPath, std::size_t recordSize)
    : mPath(pathFor(dataPath)), mRecordSize(recordSize) {}

RecordChecksums::~RecordChecksums() { close(); }

std::int64_t RecordChecksums::knownRecordsAt(const std::string& dataPath, std::size_t recordSize) {
    RecordChecksums sums(dataPath, recordSize);
    sums.open(true);
    return sums.knownRecords();
}

bool RecordChecksums::hasOurHeader() const {
    std::array<char, kHeaderSize> stored{};
    return readAll(mFd, stored.data(), kHeaderSize, 0) == kHeaderSize && stored == headerFor(mRecordSize);
}

void RecordChecksums::writeHeader() {
    const auto header = headerFor(mRecordSize);
    if (::ftruncate(mFd, 0) != 0 || !writeAll(mFd, header.data(), header.size(), 0)) close();
}

void RecordChecksums::open(bool readOnly) {
    close();
    mReadOnly = readOnly;
    if (checksumsTurnedOff()) {
        if (!readOnly) ::unlink(mPath.c_str());
        return;
    }
    mFd = ::open(mPath.c_str(), (readOnly ? O_RDONLY : O_RDWR | O_CREAT) | O_CLOEXEC, 0644);
    if (mFd < 0 || hasOurHeader()) return;
    if (readOnly)
        close();
    else
        writeHeader();
}

void RecordChecksums::close() {
    if (mFd >= 0) ::close(mFd);
    mFd = -1;
}

void RecordChecksums::reset() {
    if (mFd >= 0 && !mReadOnly && entries() > 0 && ::ftruncate(mFd, static_cast<off_t>(kHeaderSize)) != 0) close();
}

std::int64_t RecordChecksums::entries() const {
    struct stat info {};
    if (mFd < 0 || ::fstat(mFd, &info) != 0 || info.st_size < static_cast<off_t>(kHeaderSize)) return 0;
    return (static_cast<std::int64_t>(info.st_size) - static_cast<std::int64_t>(kHeaderSize)) /
           static_cast<std::int64_t>(kSumSize);
}

void RecordChecksums::forget(std::int64_t index, std::int64_t count) {
    if (mFd < 0 || mReadOnly || index < 0) return;
    // Sums past the end are unknown already; only the stored ones are overwritten.
    const std::int64_t stored = std::min(count, entries() - index);
    if (stored <= 0) return;
    const std::vector<std::uint32_t> zeros(static_cast<std::size_t>(stored), 0u);
    if (!writeAll(mFd, zeros.data(), zeros.size() * kSumSize, sumOffset(index))) close();
}

void RecordChecksums::record(const void* records, std::int64_t index, std::int64_t count) {
    if (mFd < 0 || mReadOnly || index < 0 || count <= 0) return;
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(count));
    const auto* bytes = static_cast<const char*>(records);
    for (std::int64_t i = 0; i < count; ++i)
        sums[static_cast<std::size_t>(i)] = Crc32c::of(bytes + static_cast<std::size_t>(i) * mRecordSize, mRecordSize);
    // The sums were forgotten before the write: a side file that cannot take them (a full disk)
    // leaves them unknown, and the data is not at fault.
    writeAll(mFd, sums.data(), sums.size() * kSumSize, sumOffset(index));
}

std::vector<std::uint32_t> RecordChecksums::sums(std::int64_t index, std::int64_t count) const {
    std::vector<std::uint32_t> known(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), 0u);
    if (mFd >= 0 && index >= 0 && count > 0) readAll(mFd, known.data(), known.size() * kSumSize, sumOffset(index));
    return known;
}

// A writer on another descriptor (an edit while a stream plays the selection) forgets a sum,
// writes the record and stores its new sum; a record read meanwhile may meet a sum of other
// bytes. A sum that was the same before and after the read belongs to the bytes read.
std::int64_t RecordChecksums::firstMismatch(const void* records, std::int64_t index, std::int64_t count,
                                            const std::vector<std::uint32_t>& before) const {
    if (mFd < 0 || index < 0 || count <= 0) return -1;
    const std::vector<std::uint32_t> after = sums(index, count);
    const auto* bytes = static_cast<const char*>(records);
    for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
        if (after[i] == 0 || after[i] != before[i]) continue;
        if (Crc32c::of(bytes + i * mRecordSize, mRecordSize) != after[i]) return index + static_cast<std::int64_t>(i);
    }
    return -1;
}

std::int64_t RecordChecksums::knownRecords() const {
    const std::int64_t stored = entries();
    constexpr std::int64_t kStep = 4096;
    for (std::int64_t end = stored; end > 0; end -= kStep) {
        const std::int64_t start = std::max<std::int64_t>(end - kStep, 0);
        const std::vector<std::uint32_t> known = sums(start, end - start);
        for (std::int64_t i = end - start - 1; i >= 0; --i)
            if (known[static_cast<std::size_t>(i)] != 0) return start + i + 1;
    }
    return 0;
}

void RecordChecksums::truncate(std::int64_t count) {
    if (mFd < 0 || mReadOnly || count < 0 || entries() <= count) return;
    if (::ftruncate(mFd, sumOffset(count)) != 0) close();
}

// A copy, not a second name: the side file is emptied in place, which must not reach the kept
// sums. It is small (four bytes a record).
void RecordChecksums::keepAs(const std::string& keptDataPath) {
    const std::string kept = pathFor(keptDataPath);
    ::unlink(kept.c_str());
    if (mFd < 0) return;
    std::vector<char> bytes(kHeaderSize + static_cast<std::size_t>(entries()) * kSumSize);
    if (readAll(mFd, bytes.data(), bytes.size(), 0) == bytes.size()) writeCopy(kept, bytes);
}

void RecordChecksums::dropKept(const std::string& keptDataPath) { ::unlink(pathFor(keptDataPath).c_str()); }

bool RecordChecksums::copySideFile(const std::string& fromDataPath, const std::string& toDataPath) {
    const std::string to = pathFor(toDataPath);
    ::unlink(to.c_str());
    const int from = ::open(pathFor(fromDataPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) return false;
    struct stat info {};
    std::vector<char> bytes;
    if (::fstat(from, &info) == 0) bytes.resize(static_cast<std::size_t>(info.st_size));
    const bool read = !bytes.empty() && readAll(from, bytes.data(), bytes.size(), 0) == bytes.size();
    ::close(from);
    return read && writeCopy(to, bytes);
}

void RecordChecksums::restoreKept(const std::string& keptDataPath) {
    reset();
    const std::string kept = pathFor(keptDataPath);
    if (::rename(kept.c_str(), mPath.c_str()) == 0) open(mReadOnly);
}

void RecordChecksums::synchronize() {
    if (mFd >= 0 && !mReadOnly) ::fdatasync(mFd);
}

}  // namespace orvex

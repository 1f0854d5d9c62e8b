#include "store/KVRecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/SimulatedDiskSpace.h"

namespace orvex {

KVRecordFile::KVRecordFile(std::string path, std::size_t recordSize)
    : mPath(std::move(path)), mRecordSize(recordSize), mSums(mPath, recordSize) {}

KVRecordFile::~KVRecordFile() { close(); }

bool KVRecordFile::fail() {
    mLastError = std::strerror(errno);
    return false;
}

bool KVRecordFile::create() {
    close();
    mReadOnly = false;
    mSums.open(false);
    mSums.reset();
    // Emptying in place keeps other descriptors on the path (read-only collections) in step;
    // a file that cannot be opened for writing is deleted and made anew.
    mFd = ::open(mPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (mFd >= 0) return true;
    if (::unlink(mPath.c_str()) != 0 && errno != ENOENT) return fail();
    mFd = ::open(mPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return mFd >= 0 || fail();
}

bool KVRecordFile::open(bool readOnly) {
    close();
    mReadOnly = readOnly;
    mFd = ::open(mPath.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    // The fresh name of an empty(), detach() or replaceBy() cut short by a kill before its rename.
    if (mFd >= 0 && !readOnly) {
        ::unlink(freshPath().c_str());
        RecordChecksums::dropKept(freshPath());
    }
    if (mFd < 0) return fail();
    mSums.open(readOnly);
    return true;
}

void KVRecordFile::close() {
    if (mFd >= 0) ::close(mFd);
    mFd = -1;
    mSums.close();
}

bool KVRecordFile::exists() const {
    struct stat info {};
    return ::stat(mPath.c_str(), &info) == 0;
}

std::int64_t KVRecordFile::byteSize() const {
    struct stat info {};
    const int result = mFd >= 0 ? ::fstat(mFd, &info) : ::stat(mPath.c_str(), &info);
    return result == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

void KVRecordFile::willNeed(std::int64_t index, std::int64_t count) const {
    if (mFd < 0 || index < 0 || count <= 0) return;
    const auto size = static_cast<off_t>(mRecordSize);
    ::posix_fadvise(mFd, static_cast<off_t>(index) * size, static_cast<off_t>(count) * size, POSIX_FADV_WILLNEED);
}

std::int64_t KVRecordFile::readPart(void* into, std::int64_t index, std::size_t offset, std::size_t length) {
    if (mFd < 0) {
        mLastError = "file not open";
        return -1;
    }
    auto* bytes = static_cast<char*>(into);
    const off_t start = static_cast<off_t>(index) * static_cast<off_t>(mRecordSize) + static_cast<off_t>(offset);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(mFd, bytes + done, length - done, start + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail();
            return -1;
        }
        if (n == 0) break;  // end of file
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t KVRecordFile::read(void* into, std::int64_t index, std::int64_t count) {
    if (count <= 0) return 0;
    const std::vector<std::uint32_t> before = mSums.sums(index, count);
    return checked(readPart(into, index, 0, mRecordSize * static_cast<std::size_t>(count)), into, index, before);
}

// The whole records among bytes read into `into` checked against their sums.
std::int64_t KVRecordFile::checked(std::int64_t bytes, const void* into, std::int64_t index,
                                   const std::vector<std::uint32_t>& sumsBefore) {
    mDamagedRecord = -1;
    if (bytes <= 0) return bytes;
    const std::int64_t whole = bytes / static_cast<std::int64_t>(mRecordSize);
    const std::int64_t damaged = mSums.firstMismatch(into, index, whole, sumsBefore);
    if (damaged < 0) return bytes;
    mDamagedRecord = damaged;
    const auto slash = mPath.find_last_of('/');
    mLastError = "record " + std::to_string(damaged) + " of " +
                 (slash == std::string::npos ? mPath : mPath.substr(slash + 1)) + " does not match its checksum";
    return -1;
}

// A file system without hole reporting answers that data starts at the offset asked for, so
// the records are then read as usual.
std::int64_t KVRecordFile::readSkippingHoles(void* into, std::int64_t index, std::int64_t count) {
    if (mFd < 0 || count <= 0) return read(into, index, count);
    const auto length = static_cast<off_t>(mRecordSize) * static_cast<off_t>(count);
    const off_t start = static_cast<off_t>(index) * static_cast<off_t>(mRecordSize);
    if (start + length > byteSize()) return read(into, index, count);
    const off_t data = ::lseek(mFd, start, SEEK_DATA);
    const bool hole = data >= start + length || (data < 0 && errno == ENXIO);
    if (!hole) return read(into, index, count);
    const std::vector<std::uint32_t> before = mSums.sums(index, count);
    std::memset(into, 0, static_cast<std::size_t>(length));
    return checked(static_cast<std::int64_t>(length), into, index, before);
}

bool KVRecordFile::writeBytes(const char* bytes, std::size_t length, off_t start) {
    if (!SimulatedDiskSpace::allowsWrite(mFd, static_cast<std::uint64_t>(start) + length)) return fail();
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(mFd, bytes + done, length - done, start + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return fail();
        }
        done += static_cast<std::size_t>(n);
    }
    startWriteback(start, length);
    return true;
}

// A large write starts its way to the disk at once instead of waiting in the page cache for
// the final synchronize: an analysis writes over a gigabyte, and pushing it all at the end
// left both cores idle for seconds. Only a request; the synchronize still decides.
void KVRecordFile::startWriteback(off_t start, std::size_t length) const {
    constexpr std::size_t kLargeWrite = 256 * 1024;
    if (length < kLargeWrite || !mWritesBackEarly) return;
    ::sync_file_range(mFd, start, static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
}

// The records' sums are forgotten before their bytes change and stored once they have.
bool KVRecordFile::write(const void* from, std::int64_t index, std::int64_t count) {
    mSums.forget(index, count);
    if (!writeRecords(from, index, count)) return false;
    mSums.record(from, index, count);
    return true;
}

bool KVRecordFile::writeLeavingHoles(const void* from, std::int64_t index, std::int64_t count) {
    mSums.forget(index, count);
    if (!writeRecordsLeavingHoles(from, index, count)) return false;
    mSums.record(from, index, count);
    return true;
}

namespace {

constexpr std::size_t kCompareBlock = 256;

// The first byte at which a and b differ, found a block at a time; size when none does.
std::size_t firstDifference(const char* a, const char* b, std::size_t size) {
    std::size_t at = 0;
    while (at + kCompareBlock <= size && std::memcmp(a + at, b + at, kCompareBlock) == 0) at += kCompareBlock;
    while (at < size && a[at] == b[at]) ++at;
    return at;
}

// One past the last byte at which a and b differ, searched down to floor.
std::size_t endOfDifference(const char* a, const char* b, std::size_t size, std::size_t floor) {
    std::size_t end = size;
    while (end >= floor + kCompareBlock &&
           std::memcmp(a + end - kCompareBlock, b + end - kCompareBlock, kCompareBlock) == 0)
        end -= kCompareBlock;
    while (end > floor && a[end - 1] == b[end - 1]) --end;
    return end;
}

}  // namespace

bool KVRecordFile::writeChanged(const void* record, const void* stored, std::int64_t index) {
    const char* bytes = static_cast<const char*>(record);
    const char* old = static_cast<const char*>(stored);
    const std::size_t first = firstDifference(bytes, old, mRecordSize);
    if (first == mRecordSize) return true;
    if (mFd < 0) {
        mLastError = "file not open";
        return false;
    }
    const std::size_t end = endOfDifference(bytes, old, mRecordSize, first);
    mSums.forget(index, 1);
    const off_t start = static_cast<off_t>(index) * static_cast<off_t>(mRecordSize) + static_cast<off_t>(first);
    if (!writeBytes(bytes + first, end - first, start)) return false;
    mSums.record(record, index, 1);
    return true;
}

bool KVRecordFile::writeRecords(const void* from, std::int64_t index, std::int64_t count) {
    if (mFd < 0) {
        mLastError = "file not open";
        return false;
    }
    const off_t start = static_cast<off_t>(index) * static_cast<off_t>(mRecordSize);
    return writeBytes(static_cast<const char*>(from), mRecordSize * static_cast<std::size_t>(count), start);
}

namespace {

// Bytes of the record up to and including its last nonzero byte. Zero tails are skipped a
// kilobyte at a time (memcmp runs vectorised), then a word and a byte at a time.
std::size_t usedLength(const char* record, std::size_t size) {
    static constexpr char kZeros[1024] = {};
    while (size >= sizeof(kZeros) && std::memcmp(record + size - sizeof(kZeros), kZeros, sizeof(kZeros)) == 0)
        size -= sizeof(kZeros);
    while (size >= 8) {
        std::uint64_t word;
        std::memcpy(&word, record + size - 8, 8);
        if (word != 0) break;
        size -= 8;
    }
    while (size > 0 && record[size - 1] == 0) --size;
    return size;
}

}  // namespace

// Runs of whole records are written together; a record with a zero tail ends its run at its
// last nonzero byte. Written in file order, so that a kill at any point leaves every record
// before the end of the file whole (its unwritten tail reads as zeros) and at most a torn last
// one, which recordCount() does not count.
bool KVRecordFile::writeRecordsLeavingHoles(const void* from, std::int64_t index, std::int64_t count) {
    if (mFd < 0 || count <= 0 || static_cast<off_t>(index) * static_cast<off_t>(mRecordSize) < byteSize())
        return writeRecords(from, index, count);
    const auto* bytes = static_cast<const char*>(from);
    const off_t start = static_cast<off_t>(index) * static_cast<off_t>(mRecordSize);
    const std::size_t total = mRecordSize * static_cast<std::size_t>(count);
    std::size_t runStart = 0;
    for (std::size_t at = 0; at < total; at += mRecordSize) {
        const std::size_t used = usedLength(bytes + at, mRecordSize);
        if (used == mRecordSize) continue;
        if (at + used > runStart && !writeBytes(bytes + runStart, at + used - runStart, start + static_cast<off_t>(runStart)))
            return false;
        runStart = at + mRecordSize;
    }
    // The last byte (a zero when the last record has a tail) extends the file over its end.
    runStart = std::min(runStart, total - 1);
    return writeBytes(bytes + runStart, total - runStart, start + static_cast<off_t>(runStart));
}

bool KVRecordFile::keepAs(const std::string& kept) {
    ::unlink(kept.c_str());
    RecordChecksums::dropKept(kept);
    if (byteSize() == 0) return true;
    if (::link(mPath.c_str(), kept.c_str()) != 0) return fail();
    mSums.keepAs(kept);
    return true;
}

bool KVRecordFile::restoreKept(const std::string& kept) {
    struct stat info {};
    if (::stat(kept.c_str(), &info) != 0) {
        RecordChecksums::dropKept(kept);
        return truncate(0);
    }
    mSums.reset();
    if (::rename(kept.c_str(), mPath.c_str()) != 0) return fail();
    mSums.restoreKept(kept);
    return open(false);
}

bool KVRecordFile::truncate(std::int64_t count) {
    if (mFd < 0) {
        mLastError = "file not open";
        return false;
    }
    const off_t length = static_cast<off_t>(count) * static_cast<off_t>(mRecordSize);
    mSums.truncate(count);
    return ::ftruncate(mFd, length) == 0 || fail();
}

// Freeing a large file's blocks can wait for the disk (a file system mounted to discard freed
// blocks takes about 0.15 s per 350 MB here), and truncating to 0 makes the file system push
// the next contents to the disk when the file is closed. A fresh file renamed over the path
// does neither; the replaced file is freed when its last descriptor closes, off the caller's
// thread. An empty file is left as it is.
bool KVRecordFile::empty() {
    if (mFd < 0) return truncate(0);
    if (byteSize() == 0) return true;
    return detach() || truncate(0);
}

bool KVRecordFile::detach() {
    if (mFd < 0) {
        mLastError = "file not open";
        return false;
    }
    const std::string fresh = freshPath();
    const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail();
    mSums.reset();
    if (::rename(fresh.c_str(), mPath.c_str()) != 0) {
        fail();
        ::close(fd);
        ::unlink(fresh.c_str());
        return false;
    }
    const int old = std::exchange(mFd, fd);
    try {
        std::thread([old] { ::close(old); }).detach();
    } catch (const std::system_error&) {
        ::close(old);  // no thread to spare: close it here
    }
    return true;
}

bool KVRecordFile::linkAs(const std::string& name) {
    ::unlink(name.c_str());
    RecordChecksums::dropKept(name);
    if (::link(mPath.c_str(), name.c_str()) != 0) return fail();
    mSums.keepAs(name);
    return true;
}

// The side file is copied beside the fresh name first and goes in after the data, so the data
// is never checked against the sums of other data (in between, its sums are unknown).
bool KVRecordFile::replaceBy(const std::string& other) {
    const std::string fresh = freshPath();
    ::unlink(fresh.c_str());
    if (::link(other.c_str(), fresh.c_str()) != 0) return fail();
    const bool sums = RecordChecksums::copySideFile(other, fresh);
    mSums.reset();
    if (::rename(fresh.c_str(), mPath.c_str()) != 0) {
        fail();
        ::unlink(fresh.c_str());
        RecordChecksums::dropKept(fresh);
        return false;
    }
    if (sums) mSums.restoreKept(fresh);
    return open(mReadOnly);
}

bool KVRecordFile::synchronize() {
    if (mFd < 0) return true;
    mSums.synchronize();
    return ::fdatasync(mFd) == 0 || fail();
}

}  // namespace orvex

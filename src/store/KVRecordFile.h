#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/types.h>

#include "store/RecordChecksums.h"

namespace orvex {

// One data file of fixed-size records stored back to back from byte 0, record i at
// i x recordSize, read and written with positional I/O on a file descriptor (one call per
// run of records, no shared file offset). Every record written has its CRC-32C in the file's
// integrity side file (RecordChecksums), and every whole record read is checked against it: a
// record that does not match is refused as damaged. Failures return false or -1 and leave the
// reason in lastError(); the owner decides how to tell the user.
// Not synchronised: the owner serialises calls with its own monitor.
class KVRecordFile {
public:
    KVRecordFile(std::string path, std::size_t recordSize);
    ~KVRecordFile();
    KVRecordFile(const KVRecordFile&) = delete;
    KVRecordFile& operator=(const KVRecordFile&) = delete;

    // Makes the file empty (creating it when missing) and opens it for reading and writing.
    bool create();
    // Opens an existing file for reading only or for reading and writing (removing what an
    // interrupted empty() may have left beside it).
    bool open(bool readOnly);
    void close();
    bool isOpen() const { return mFd >= 0; }
    bool exists() const;

    // Bytes in the file (of the open descriptor, else of the path); 0 when there is none.
    std::int64_t byteSize() const;
    // Whole records in the file (integer division).
    std::int64_t recordCount() const { return byteSize() / static_cast<std::int64_t>(mRecordSize); }

    // Reads up to count records from index into the buffer; returns the bytes read (short at
    // the end of the file) or -1 when the read fails or a record read does not match its
    // checksum (lastReadWasDamaged()).
    std::int64_t read(void* into, std::int64_t index, std::int64_t count = 1);
    // The same as read(), for files that are mostly holes (freshly extended stores): records
    // that lie wholly in a hole are given as zeros without reading them, which spares the
    // system zero-filling cache pages for them.
    std::int64_t readSkippingHoles(void* into, std::int64_t index, std::int64_t count = 1);
    // Asks the system to start reading count records from index into its cache in the
    // background, for a read soon after; only advice, so nothing is reported.
    void willNeed(std::int64_t index, std::int64_t count) const;
    // Reads bytes [offset, offset + length) of record index (for header peeks; not checked).
    std::int64_t readPart(void* into, std::int64_t index, std::size_t offset, std::size_t length);
    // Writes count records at index; false unless every byte was written.
    bool write(const void* from, std::int64_t index, std::int64_t count = 1);
    // The same bytes as write(), for records that mostly end in zeros (copies of empty
    // records): where the records lie past the end of the file, the zero tail of each is left
    // as a hole instead of being written, and the file is extended over the last one. Every
    // record counted by recordCount() is whole at every moment.
    bool writeLeavingHoles(const void* from, std::int64_t index, std::int64_t count = 1);
    // Writes record at index, whose bytes in the file are stored (read whole just before):
    // only the span from the first to the last byte that differs is written, and nothing when
    // none does. An edit that changes a few bins of a record then writes those, not all of it.
    bool writeChanged(const void* record, const void* stored, std::int64_t index);
    // Cuts or extends the file to count records.
    bool truncate(std::int64_t count);
    // Leaves the path naming an empty file, as truncate(0) does, without waiting for the old
    // contents to be freed: an empty file is renamed over the path (one step, so the path always
    // names either the old file or an empty one) and the old descriptor is closed on a thread of
    // its own. Falls back to truncate(0) when the rename cannot be made.
    bool empty();
    // Pushes written data to the disk.
    bool synchronize();
    // Whether a large write starts its way to the disk at once (the default), for files that
    // are pushed to the disk when their writer is done; other files leave it to the system.
    void setWritesBackEarly(bool early) { mWritesBackEarly = early; }
    // Keeps what the file holds now under kept (a second name for the same data, so it costs
    // no space), for a later restoreKept(); an empty file keeps nothing. Call it before empty().
    bool keepAs(const std::string& kept);
    // Puts what keepAs saved back under the path and reopens it (an empty file when nothing
    // was kept); false when the rename fails.
    bool restoreKept(const std::string& kept);
    // Gives what the file holds now a second name, even when it is empty (with its side file
    // copied), so that detach() can leave it to that name untouched.
    bool linkAs(const std::string& name);
    // Leaves the path naming a fresh empty file and the descriptor on it; whatever other names
    // or descriptors the old file has keep its contents as they are. False (nothing changed)
    // when no fresh file can be made: unlike empty(), the old file is never cut in place.
    bool detach();
    // Makes the path name the file at other (which keeps its name too) with its side file, in
    // one rename, and reopens it; false, with the path as it was, when that cannot be done.
    bool replaceBy(const std::string& other);

    // Whether the last read failed because a record does not match its checksum, and which.
    bool lastReadWasDamaged() const { return mDamagedRecord >= 0; }
    std::int64_t damagedRecord() const { return mDamagedRecord; }
    // Records the file held when last written whole, by its side file: more than recordCount()
    // when records were lost (the file cut short, emptied or deleted behind the store's back).
    std::int64_t knownRecords() const { return mSums.knownRecords(); }

    const std::string& path() const { return mPath; }
    std::size_t recordSize() const { return mRecordSize; }
    // The platform's reason for the last failure.
    const std::string& lastError() const { return mLastError; }

private:
    bool fail();
    std::string freshPath() const { return mPath + ".fresh"; }
    bool writeBytes(const char* bytes, std::size_t length, off_t start);
    void startWriteback(off_t start, std::size_t length) const;
    bool writeRecords(const void* from, std::int64_t index, std::int64_t count);
    bool writeRecordsLeavingHoles(const void* from, std::int64_t index, std::int64_t count);
    std::int64_t checked(std::int64_t bytes, const void* into, std::int64_t index,
                         const std::vector<std::uint32_t>& sumsBefore);

    std::string mPath;
    std::size_t mRecordSize;
    int mFd = -1;
    bool mReadOnly = false;
    bool mWritesBackEarly = true;
    std::string mLastError;
    RecordChecksums mSums;
    std::int64_t mDamagedRecord = -1;
};

}  // namespace orvex

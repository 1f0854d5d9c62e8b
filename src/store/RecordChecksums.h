#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

// The integrity side file of one record file: for data file F it is F + ".crc", a 16-byte
// header ("orvxcrc1", the record size as a 32-bit little-endian number, four zero bytes) and
// then the CRC-32C of each record, record i's at byte 16 + 4 i, little-endian. A sum of 0 is
// "not known": records past the side file's end, records whose write was cut short, and every
// record of a file stored before side files existed are not checked.
//
// A record's sum is forgotten before its bytes change and stored after they have, and the side
// file is cut before its data file is; so a process killed at any point leaves every known sum
// matching its record, and a known sum past the end of the data file means records were lost.
// Failures of the side file itself are never failures of the data: the sums are then unknown.
// Not synchronised: the owner of the record file serialises calls.
class RecordChecksums {
public:
    static constexpr std::size_t kHeaderSize = 16;

    RecordChecksums(std::string dataPath, std::size_t recordSize);
    ~RecordChecksums();
    RecordChecksums(const RecordChecksums&) = delete;
    RecordChecksums& operator=(const RecordChecksums&) = delete;

    static std::string pathFor(const std::string& dataPath) { return dataPath + ".crc"; }
    // One past the last record of the data file at dataPath whose sum is known (0 without a
    // side file of that record size): the records the data file held when last written whole.
    static std::int64_t knownRecordsAt(const std::string& dataPath, std::size_t recordSize);

    // Writable: opens the side file, starting one with no sums known when it is missing or not
    // one for this record size. Read-only: opens it when there is one.
    void open(bool readOnly);
    void close();
    // No sums known (the data file is about to be emptied or made anew).
    void reset();
    // The sums of count records from index are no longer known (their bytes are about to change).
    void forget(std::int64_t index, std::int64_t count);
    // Stores the sums of count records from index, as they now are on disk.
    void record(const void* records, std::int64_t index, std::int64_t count);
    // The stored sums of count records from index (0 where unknown), read before the records.
    std::vector<std::uint32_t> sums(std::int64_t index, std::int64_t count) const;
    // The first of count records (read back to back from index) whose known sum, the same as
    // in before (read before the records), they do not match; -1 when every known one matches.
    std::int64_t firstMismatch(const void* records, std::int64_t index, std::int64_t count,
                               const std::vector<std::uint32_t>& before) const;
    // One past the last record whose sum is known.
    std::int64_t knownRecords() const;
    // Forgets the sums of records from count on (before the data file is cut).
    void truncate(std::int64_t count);
    // Copies the side file beside keptDataPath (see KVRecordFile::keepAs); dropKept removes it.
    void keepAs(const std::string& keptDataPath);
    static void dropKept(const std::string& keptDataPath);
    // Copies the side file of the data file at fromDataPath beside toDataPath; false when there
    // is none or it cannot be copied whole (nothing is then left beside toDataPath).
    static bool copySideFile(const std::string& fromDataPath, const std::string& toDataPath);
    // Puts the side file kept beside keptDataPath back under this name (reset() first, so that
    // the data renamed meanwhile is never checked against the sums of other data).
    void restoreKept(const std::string& keptDataPath);
    void synchronize();

private:
    bool hasOurHeader() const;
    void writeHeader();
    std::int64_t entries() const;

    std::string mPath;
    std::size_t mRecordSize;
    int mFd = -1;
    bool mReadOnly = true;
};

}  // namespace orvex

#include "store/MasterCommitJournal.h"

#include <cstring>
#include <filesystem>
#include <memory>

#include "store/KVGrainCollection.h"
#include "store/KVRecordFile.h"

namespace orvex {

namespace {

namespace fs = std::filesystem;

// Record 0 of the journal: what range it saves. Records 1 .. count hold the left grains,
// count + 1 .. 2 count the right ones, all in the grain size.
struct JournalHeader {
    std::uint32_t magic;
    std::uint32_t reserved;
    std::int64_t first;
    std::int64_t count;
};
constexpr std::uint32_t kJournalMagic = fourCC("KVcj");

std::string journalPath(const KVGrainCollection& left) {
    return (fs::path(left.filePath()).parent_path() / "commit.journal").string();
}

std::string unfinishedPath(const KVGrainCollection& left) { return journalPath(left) + ".partial"; }

// The journal's integrity side files go with it.
void removeJournal(const KVGrainCollection& left) {
    std::error_code ignored;
    for (const std::string& path : {journalPath(left), unfinishedPath(left)}) {
        fs::remove(path, ignored);
        fs::remove(RecordChecksums::pathFor(path), ignored);
    }
}

// Copies count records between a collection (at first) and the journal (at record at).
bool copyGrains(KVGrainCollection& collection, KVRecordFile& journal, FramePos first, FrameCount count, FramePos at,
                bool intoJournal) {
    auto grain = std::make_unique<KVEncodedGrain>();
    for (FrameCount i = 0; i < count; ++i) {
        if (intoJournal) {
            grain->clear();  // a record past the collection's end is saved as the zeros it reads as
            collection.readRecords(grain.get(), first + i, 1);
            if (!journal.write(grain.get(), at + i)) return false;
        } else {
            if (journal.read(grain.get(), at + i) != static_cast<std::int64_t>(sizeof(KVEncodedGrain))) return false;
            if (collection.writeRecord(*grain, first + i) != 0) return false;
        }
    }
    return true;
}

}  // namespace

bool MasterCommitJournal::save(KVGrainCollection& left, KVGrainCollection& right, FramePos first, FrameCount count,
                               std::string* reason) {
    removeJournal(left);
    KVRecordFile journal(unfinishedPath(left), sizeof(KVEncodedGrain));
    auto header = std::make_unique<KVEncodedGrain>();
    header->clear();
    const JournalHeader range{kJournalMagic, 0, first, count};
    std::memcpy(static_cast<void*>(header.get()), &range, sizeof range);
    bool saved = journal.create() && copyGrains(left, journal, first, count, 1, true) &&
                 copyGrains(right, journal, first, count, 1 + count, true) && journal.write(header.get(), 0) &&
                 journal.synchronize();
    if (!saved && reason) *reason = journal.lastError().empty() ? "the journal could not be made" : journal.lastError();
    journal.close();
    std::error_code error;
    if (saved) fs::rename(RecordChecksums::pathFor(unfinishedPath(left)), RecordChecksums::pathFor(journalPath(left)), error);
    if (saved && !error) fs::rename(unfinishedPath(left), journalPath(left), error);
    if (!saved || error) removeJournal(left);
    return saved && !error;
}

bool MasterCommitJournal::close(KVGrainCollection& left, KVGrainCollection& right) {
    const bool pushed = left.synchronize() == 0 && right.synchronize() == 0;
    if (pushed) removeJournal(left);
    return pushed;
}

bool MasterCommitJournal::rollBack(KVGrainCollection& left, KVGrainCollection& right) {
    KVRecordFile journal(journalPath(left), sizeof(KVEncodedGrain));
    bool restored = false;
    if (journal.exists() && journal.open(true)) {
        auto header = std::make_unique<KVEncodedGrain>();
        JournalHeader range{};
        if (journal.read(header.get(), 0) == static_cast<std::int64_t>(sizeof(KVEncodedGrain)))
            std::memcpy(&range, header.get(), sizeof range);
        const bool whole = range.magic == kJournalMagic && range.first >= 0 && range.count >= 0 &&
                           journal.recordCount() == 1 + 2 * range.count;
        restored = whole && copyGrains(left, journal, range.first, range.count, 1, false) &&
                   copyGrains(right, journal, range.first, range.count, 1 + range.count, false) &&
                   left.synchronize() == 0 && right.synchronize() == 0;
        journal.close();
        // A whole journal that could not be written back is the only record of the master
        // before the commit: it stays, and the next open tries again.
        if (whole && !restored) return false;
    }
    removeJournal(left);
    return restored;
}

}  // namespace orvex

// Damaged files, full disks and write-protected folders: the store reports the failure,
// hands out no partial data and keeps running.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "store/KVAnalysisChunkFile.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVRecordFile.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"
#include "support/Unprivileged.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::partialsRecord;

constexpr std::size_t kRecord = sizeof(FrameRecord);

class RobustnessTest : public test::PlatformFixture {
protected:
    std::unique_ptr<KVAnalysisChunkFile> openChunk(const std::string& base, bool recreate, bool display = true) {
        return KVAnalysisChunkFile::initByOpeningFileAtPath(base, 44100.0, 4, 4096, 32, true, recreate, display);
    }
};

TEST_F(RobustnessTest, ARecordCutShortReadsAsAbsent) {
    const std::string base = temp().file("cut.kva");
    {
        auto chunk = openChunk(base, true);
        for (int f = 0; f < 3; ++f) chunk->appendFrameRecord(*partialsRecord(f));
    }
    fs::resize_file(temp().file("cut.ana.noindex"), 2 * kRecord + kRecord / 2);
    auto chunk = openChunk(base, false);
    EXPECT_EQ(chunk->frameCount(), 2);
    EXPECT_FALSE(chunk->isAnalysisComplete());  // three grains and display records for two records
    auto read = FrameRecord::create();
    for (int f = 0; f < 2; ++f) {
        ASSERT_EQ(chunk->readFrameRecord(f, *read), 0);
        EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(f)));
    }
    // The partial record is absent and nothing of it reaches the caller's record.
    auto sentinel = partialsRecord(42);
    auto target = partialsRecord(42);
    EXPECT_EQ(chunk->readFrameRecord(2, *target), -1);
    EXPECT_TRUE(test::sameBytes(target.get(), sentinel.get(), kRecord));
    EXPECT_EQ(chunk->readFrameRecord(1000, *target), -1);
    EXPECT_TRUE(failures().empty());
}

// One data file at a time is a link to /dev/full, where each write fails with "No space left on
// device": the write reports it, the alert is titled by that file's kind and raised once, the
// chunk file refuses the writes after it and is not complete. Without its undo copy a frame is
// not written at all.
TEST_F(RobustnessTest, AFailingFileRaisesOneAlertTitledByItsKind) {
    const struct {
        const char* suffix;
        const char* title;
    } cases[] = {{".ana.noindex", "Error writing to data file"},   {".asp.noindex", "Error writing data"},
                 {".dsp.noindex", "Error writing to display file"}, {".trk.noindex", "Error writing to display file"},
                 {".cdx.noindex", "Error writing to info file"},    {".undo.noindex", "Error writing to undo file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        const std::string name = std::string("full") + c.suffix;
        const std::string base = temp().file(name + ".kva");
        openChunk(base, true);
        const std::string failing = temp().file(name + c.suffix);
        fs::remove(failing);
        fs::create_symlink("/dev/full", failing);
        auto chunk = openChunk(base, false);
        mFailures.clear();
        for (int f = 0; f < 3; ++f) EXPECT_EQ(chunk->writeFrameRecord(*partialsRecord(f), f), -1) << f;
        ASSERT_EQ(failures().size(), 1u);
        EXPECT_EQ(failures()[0].title(), c.title);
        EXPECT_EQ(failures()[0].message(), "There was a problem writing data to file:\nNo space left on device");
        EXPECT_EQ(chunk->writeFailure().title(), c.title);
        EXPECT_FALSE(chunk->isAnalysisComplete());
        EXPECT_FALSE(chunk->markComplete());
        const bool undoFailed = std::string(c.suffix) == ".undo.noindex";
        for (const auto& [suffix, size] : {std::pair{".ana.noindex", kRecord}, {".asp.noindex", sizeof(KVEncodedGrain)}})
            if (suffix != std::string(c.suffix)) {
                EXPECT_EQ(fs::file_size(temp().file(name + suffix)), undoFailed ? 0u : size) << suffix;
            }
        chunk->setFrameCount(0);  // still usable
        chunk->beginUndoStep();
        chunk->commitUndoStep();
        EXPECT_FALSE(chunk->undoLastStep());
        EXPECT_EQ(failures().size(), 1u);
    }
}

TEST_F(RobustnessTest, AFullDiskIsReportedAndLosesNothingWritten) {
    const fs::path mountPoint = temp().path() / "small";
    fs::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=600k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    {
        auto set = KVAnalysisFileSet::initByOpeningFileAtPath((mountPoint / "take.wav").string(), 44100.0, 4, 4096, 32,
                                                              1, true, true);
        int written = 0;
        for (; written < 12 && failures().empty(); ++written)
            for (int c = -1; c < 1; ++c) set->appendFrameRecord(*partialsRecord(written), c);
        EXPECT_FALSE(failures().empty());
        EXPECT_LT(written, 12);
        // Frames written before the disk filled up read back whole.
        auto read = FrameRecord::create();
        for (int f = 0; f + 1 < written; ++f) {
            ASSERT_EQ(set->readFrameRecord(f, *read, 0), 0) << f;
            EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(f))) << f;
        }
    }
    ::umount2(mountPoint.c_str(), MNT_DETACH);
}

// A folder the user may not write into: the failed creation is reported once, nothing crashes.
TEST_F(RobustnessTest, AWriteProtectedFolderRaisesOneCreateAlert) {
    const fs::path folder = temp().path() / "locked";
    fs::create_directories(folder / "take.analysis");
    for (const fs::path& path : {temp().path(), folder, folder / "take.analysis"})
        fs::permissions(path, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    const int result = test::runUnprivileged([&] {
        auto set = KVAnalysisFileSet::initByOpeningFileAtPath((folder / "take.wav").string(), 44100.0, 4, 4096, 32, 1,
                                                              true, false);
        // One alert for the set's 12 files (6 for each of two chunks), then no more.
        if (failures().size() != 1 || countFailures("Error creating file") != 1) return 1;
        if (set->appendFrameRecord(*partialsRecord(1), -1) != -1) return 2;
        if (failures().size() != 1 || set->writeFailure().title() != "Error creating file") return 3;
        auto read = FrameRecord::create();
        if (set->readFrameRecord(0, *read, -1) != -1) return 4;
        if (set->markComplete() || set->isAnalysisComplete()) return 5;
        return 0;
    });
    EXPECT_EQ(result, 0);
}

// Records written with their zero tails left as holes read back as the bytes handed in: past
// the end of the file (dense, zero-tailed, all-zero and mixed runs) and over stale data, where
// the zeros must really be written.
TEST_F(RobustnessTest, RecordsWrittenLeavingHolesReadBackAsGiven) {
    constexpr std::size_t kSize = 8192;
    struct Case {
        const char* name;
        std::vector<std::size_t> used;  // nonzero leading bytes of each record
        std::int64_t staleRecords;      // records of 0xff before the write, which starts at 0
    };
    const Case cases[] = {
        {"dense", {kSize, kSize}, 0},
        {"zero tails", {40, 40, 40}, 0},
        {"all zero", {0, 0}, 0},
        {"mixed", {kSize, 40, kSize, 0, 100}, 0},
        {"over stale data", {40, 0, kSize}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = temp().file(std::string(c.name) + ".rec");
        KVRecordFile file(path, kSize);
        ASSERT_TRUE(file.create());
        const std::vector<char> stale(kSize * static_cast<std::size_t>(c.staleRecords), char(0xff));
        if (c.staleRecords > 0) {
            ASSERT_TRUE(file.write(stale.data(), 0, c.staleRecords));
        }
        std::vector<char> records(kSize * c.used.size(), 0);
        for (std::size_t r = 0; r < c.used.size(); ++r)
            for (std::size_t i = 0; i < c.used[r]; ++i) records[r * kSize + i] = char(1 + (r + i) % 200);
        ASSERT_TRUE(file.writeLeavingHoles(records.data(), 0, std::int64_t(c.used.size())));
        file.close();
        std::ifstream in(path, std::ios::binary);
        std::vector<char> stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<char> expected = records;
        if (stale.size() > expected.size()) expected.insert(expected.end(), stale.begin() + expected.size(), stale.end());
        EXPECT_TRUE(stored == expected);
    }
}

// A file made long before its records are written, with records of a size that shares disk
// blocks between neighbours: whole and partly written records among holes, read in every run
// that fits the file and some that run past its end, come back exactly as plain reads give them.
TEST_F(RobustnessTest, ReadsSkippingHolesGiveWhatPlainReadsGive) {
    constexpr std::size_t kSize = 8208;
    constexpr std::int64_t kRecords = 24;
    KVRecordFile file(temp().file("sparse.rec"), kSize);
    ASSERT_TRUE(file.create());
    ASSERT_TRUE(file.truncate(kRecords));
    std::vector<char> whole(kSize, char(0x5a));
    ASSERT_TRUE(file.write(whole.data(), 3));
    ASSERT_TRUE(file.write(whole.data(), 12, 1));
    const std::vector<char> head(100, char(0x33));
    const int fd = ::open(file.path().c_str(), O_WRONLY | O_CLOEXEC);
    // A torn write's fragment inside record 20, through another descriptor.
    ASSERT_EQ(::pwrite(fd, head.data(), head.size(), off_t(20 * kSize + 4000)), ssize_t(head.size()));
    ::close(fd);
    for (std::int64_t index = 0; index < kRecords + 2; ++index) {
        for (std::int64_t count : {1, 2, 7}) {
            std::vector<char> plain(kSize * std::size_t(count), char(0x7e)), skipping = plain;
            const std::int64_t expected = file.read(plain.data(), index, count);
            EXPECT_EQ(file.readSkippingHoles(skipping.data(), index, count), expected) << index << " " << count;
            EXPECT_TRUE(plain == skipping) << index << " " << count;
        }
    }
}

}  // namespace
}  // namespace orvex

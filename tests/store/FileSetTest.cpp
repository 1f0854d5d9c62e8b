// Analysis file sets on disk: what they create, what survives a reopen, version handling,
// undo steps and the derived display records, checked against the raw files.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "store/StoreRecords.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::fileBytes;
using test::fileSize;
using test::partialsRecord;

constexpr std::size_t kRecord = sizeof(FrameRecord);
const char* const kSuffixes[] = {".ana.noindex", ".asp.noindex", ".dsp.noindex",
                                 ".trk.noindex", ".cdx.noindex", ".undo.noindex"};

class FileSetTest : public test::FileSetFixture {
protected:
    std::string sound() { return temp().file("take.wav"); }
    // Appends frames [first, end) tagged 100 x channel + frame to every channel and the overview.
    static void appendFrames(KVAnalysisFileSet& set, int end, int first = 0,
                             std::uint16_t version = kFrameRecordVersion) {
        for (int f = first; f < end; ++f)
            for (int c = -1; c < set.numberOfChannels(); ++c)
                ASSERT_EQ(set.appendFrameRecord(*partialsRecord(100 * (c + 1) + f, version), c), 0);
    }
};

// Channel 0 loses one of its files before the reopen: that chunk alone starts again empty.
TEST_F(FileSetTest, ReopenedSetFindsItsFramesByteForByteAndRecreatesAChunkMissingAFile) {
    {
        auto set = open(2, true);
        appendFrames(*set, 4);
        EXPECT_EQ(set->frameCount(), 4);
        EXPECT_TRUE(set->hasAudio());
        EXPECT_EQ(set->framesAvailableFromIndex(1), 3);
        EXPECT_EQ(set->framesAvailableFromIndex(9), 0);
    }
    fs::remove(data("0", ".trk.noindex"));
    auto set = open(2);
    EXPECT_EQ(set->frameCount(), 4);
    EXPECT_FALSE(set->isAnalysisComplete());  // channel 0 has to be analysed again
    EXPECT_EQ(fileSize(data("ovw", ".dsp.noindex")), 4u * 12016u);
    EXPECT_EQ(fileSize(data("ovw", ".cdx.noindex")), 4u * 8u);
    EXPECT_EQ(fileSize(data("1", ".asp.noindex")), 4u * 8208u);
    EXPECT_EQ(fileSize(data("1", ".dsp.noindex")), 0u);  // channels keep no display records
    for (const char* suffix : kSuffixes) EXPECT_EQ(fileSize(data("0", suffix)), 0u) << suffix;

    const std::vector<char> raw = fileBytes(data("1", ".ana.noindex"));
    ASSERT_EQ(raw.size(), 4 * kRecord);
    auto read = FrameRecord::create();
    for (int f = 0; f < 4; ++f) {
        ASSERT_EQ(set->readFrameRecord(f, *read, 1), 0);
        EXPECT_TRUE(test::sameBytes(read.get(), raw.data() + f * kRecord, kRecord)) << f;
        EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(200 + f))) << f;
        EXPECT_GT(read->maximumSample, 0.0f);  // the range of the synthesised grain
    }
    ASSERT_EQ(set->readFrameRecord(-5, *read, -1), 0);  // negative frames read frame 0
    EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(0)));
    EXPECT_EQ(set->readFrameRecord(0, *read, 2), -1);  // no such channel
}

// A set without undo gathers appends into blocks: every access sees them, closing writes them,
// and the files hold the same bytes as when each frame is written at once (undo kept).
TEST_F(FileSetTest, GatheredAppendsAreSeenAtOnceAndStoredAsFrameByFrame) {
    constexpr int kFrames = 21;  // a whole block and some
    std::map<std::string, std::vector<char>> direct;
    {
        auto set = open(2, true);
        appendFrames(*set, kFrames);
    }
    for (const char* chunk : {"0", "1", "ovw"})
        for (const char* suffix : {".ana.noindex", ".asp.noindex", ".dsp.noindex", ".trk.noindex", ".cdx.noindex"})
            direct[std::string(chunk) + suffix] = fileBytes(data(chunk, suffix));
    {
        auto set = open(2, true, false);
        appendFrames(*set, 3);
        auto read = FrameRecord::create();
        ASSERT_EQ(set->readFrameRecord(2, *read, 1), 0);
        EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(202)));
        appendFrames(*set, kFrames, 3);
        EXPECT_EQ(set->frameCount(), kFrames);
        std::vector<DisplayColumn> columns(kFrames);
        EXPECT_EQ(set->readDisplayColumns(columns.data(), 0, kFrames, -1, DisplayColumnKind::harmonic), kFrames);
        appendFrames(*set, kFrames + 2, kFrames);  // left gathered when the set closes
    }
    for (const auto& [name, bytes] : direct) {
        const std::string chunk = name.substr(0, name.find('.')), suffix = name.substr(name.find('.'));
        std::vector<char> stored = fileBytes(data(chunk, suffix));
        ASSERT_EQ(stored.size(), bytes.size() / kFrames * (kFrames + 2)) << name;
        stored.resize(bytes.size());
        EXPECT_EQ(stored, bytes) << name;
    }
}

TEST_F(FileSetTest, RecordsOfAnotherVersionAreDiscardedLeavingEmptyFilesForEveryChunk) {
    {
        auto set = open(2, true);
        auto empty = FrameRecord::create();
        set->appendFrameRecord(*empty, -1);  // leading records without data are skipped
        appendFrames(*set, 3, 0, 258);
    }
    // Opened again, every chunk of the two channels and the overview is there and empty.
    auto set = open(2);
    for (const std::string chunk : {"0", "1", "ovw"})
        for (const char* suffix : kSuffixes) EXPECT_EQ(fileSize(data(chunk, suffix)), 0u) << chunk << suffix;
    EXPECT_FALSE(fs::exists(data("2", ".ana.noindex")));
    EXPECT_EQ(set->frameCount(), 0);
    EXPECT_FALSE(set->isAnalysisComplete());
    EXPECT_FALSE(set->hasAudio());
    EXPECT_TRUE(failures().empty());
}

TEST_F(FileSetTest, FilesWithoutValidRecordsStayButAreIncomplete) {
    {
        auto set = open(2, true);
        for (int c = -1; c < 2; ++c) set->appendFrameRecord(*FrameRecord::create(), c);
    }
    auto set = open(2);
    EXPECT_EQ(set->frameCount(), 1);
    EXPECT_FALSE(set->isAnalysisComplete());
    set->markComplete();
    EXPECT_TRUE(set->isAnalysisComplete());
}

// Which stored versions are incompatible is tabled in ParamDictTest; one of them is enough here.
TEST_F(FileSetTest, DictionaryOfAnotherVersionIsReportedAndRestamped) {
    {
        auto set = open(2, true);
        appendFrames(*set, 1);
    }
    PropertyList dict;
    dict.setInt("ORVXFileGroup_Version", 260);
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(sound(), dict);
    auto set = open(2);
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_EQ(failures().back().title(), "Incompatible Analysis File");
    EXPECT_EQ(KVUtilities::paramDictForAnalysisOfFileAtPath(sound()).getInt("ORVXFileGroup_Version"), 259);
    EXPECT_EQ(set->frameCount(), 1);  // the alert alone discards nothing
    set.reset();
    open(2);
    EXPECT_EQ(failures().size(), 1u);
}

TEST_F(FileSetTest, UndoRefusesWhileAStepIsOpen) {
    auto set = open(1, true);
    set->beginUndoStep();
    set->beginUndoStep();  // nested: the undo file is kept
    set->writeFrameRecord(*partialsRecord(1), 0, -1);
    set->commitUndoStep();
    const std::vector<char> before = fileBytes(data("ovw", ".ana.noindex"));
    const Result refused = set->undoLastStep();
    EXPECT_FALSE(refused);
    EXPECT_EQ(fileBytes(data("ovw", ".ana.noindex")), before);
    EXPECT_EQ(refused.title(), "No data to undo");
    EXPECT_EQ(refused.message(),
              "Undo could not complete. Processing might still be in progress or there is no data to undo");

    set->commitUndoStep();
    EXPECT_TRUE(set->undoLastStep());
    auto read = FrameRecord::create();
    ASSERT_EQ(set->readFrameRecord(0, *read, -1), 0);
    EXPECT_EQ(read->valid, 0);
    EXPECT_FALSE(set->canUndo());
    EXPECT_FALSE(set->undoLastStep());  // once only
    EXPECT_TRUE(failures().empty());  // the caller shows the reason
}

TEST_F(FileSetTest, TruncationKeepsTheStepsCopies) {
    auto set = open(1, true);
    set->beginUndoStep();
    appendFrames(*set, 3);
    set->commitUndoStep();
    const std::vector<char> undo = fileBytes(data("ovw", ".step-1.noindex"));
    ASSERT_EQ(undo.size(), 3 * kRecord);
    set->setFrameCount(0);
    EXPECT_EQ(fileBytes(data("ovw", ".step-1.noindex")), undo);
    EXPECT_EQ(set->frameCount(), 0);
    for (const char* suffix : {".ana.noindex", ".asp.noindex", ".dsp.noindex", ".trk.noindex", ".cdx.noindex"})
        EXPECT_EQ(fileSize(data("ovw", suffix)), 0u) << suffix;
    EXPECT_EQ(fileSize(data("0", ".asp.noindex")), 0u);
}

TEST_F(FileSetTest, OverviewDisplayRecordsAreThoseOfTheStoredRecords) {
    auto set = open(1, true);
    appendFrames(*set, 3);
    std::vector<DisplayColumn> spectral(5), harmonic(5);
    std::vector<FrameSummary> summaries(5);
    spectral[4].size = 77;
    EXPECT_EQ(set->readDisplayColumns(spectral.data(), 0, 5, -1, DisplayColumnKind::spectral), 3);
    EXPECT_EQ(set->readDisplayColumns(harmonic.data(), 0, 5, -1, DisplayColumnKind::harmonic), 3);
    EXPECT_EQ(set->readFrameSummaries(summaries.data(), 0, 5, -1), 3);
    EXPECT_EQ(spectral[4].size, 77u);  // the end of the file stops the read quietly
    auto stored = FrameRecord::create();
    for (int f = 0; f < 3; ++f) {
        ASSERT_EQ(set->readFrameRecord(f, *stored, -1), 0);
        EXPECT_TRUE(test::sameBytes(&spectral[f], spectralColumn(*stored).get(), sizeof(DisplayColumn))) << f;
        EXPECT_TRUE(test::sameBytes(&harmonic[f], harmonicColumn(*stored).get(), sizeof(DisplayColumn))) << f;
        const FrameSummary expected = frameSummary(*stored);
        EXPECT_TRUE(test::sameBytes(&summaries[f], &expected, sizeof(FrameSummary))) << f;
    }
    // Channels keep no display records: zeros.
    EXPECT_EQ(set->readDisplayColumns(spectral.data(), 0, 2, 0, DisplayColumnKind::spectral), 0);
    EXPECT_EQ(spectral[0].size, 0u);
    EXPECT_EQ(set->readFrameSummaries(summaries.data(), 1, 1, 0), 0);
    EXPECT_EQ(summaries[0].alpha, 0);
}

TEST_F(FileSetTest, AudioIsStreamedFromTheChannelGrains) {
    auto set = open(2, true);
    appendFrames(*set, 40);
    EXPECT_EQ(set->numberOfGrainSamples(), 40 * 128);
    EXPECT_EQ(set->grainCollectionForChannel(-1), nullptr);
    std::vector<float> buffer(512), expected(512);
    float* channels[1] = {buffer.data()};
    float* expectedChannels[1] = {expected.data()};
    EXPECT_EQ(set->readAudio(512, channels, -1), -1);
    // Channel 1 streams what its own grain file holds, as an independent reader decodes it.
    auto independent = KVGrainCollection::initByOpeningFileAtPath(temp().file("take.analysis/take_1.kva"), true, false);
    set->setPlayPosition(10 * 128 + 5);
    independent->seekGrainRecord(10);
    for (int block = 0; block < 4; ++block) {
        ASSERT_EQ(set->readAudio(512, channels, 1), 0);
        independent->readAudio(512, expectedChannels);
        EXPECT_EQ(buffer, expected) << block;
    }
    EXPECT_GT(*std::max_element(buffer.begin(), buffer.end()), 1e-4f);
}

}  // namespace
}  // namespace orvex

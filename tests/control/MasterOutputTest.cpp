#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "audiofile/KVAudioFileReader.h"
#include "control/FakeViews.h"
#include "control/ControlTestSupport.h"
#include "control/KVMixdownStream.h"
#include "control/KVOutputController.h"
#include "store/KVAnalysisPaths.h"
#include "store/KVMixdownStore.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"
#include "support/Unprivileged.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

using test::Channels;
using test::constantGrain;

constexpr FrameCount kFrames = 128 * 600;

class RecordingDelegate : public KVOutputControllerDelegate {
public:
    void setProgressValue(int value) override { progress.push_back(value); }
    void exportFinished(KVOutputController&, const Result& result) override { results.push_back(result); }
    std::vector<int> progress;
    std::vector<Result> results;
};

class MasterOutputTest : public test::PlatformFixture {
protected:
    std::string working() { return temp().file(mWorkingName); }

    Channels stereoSignal(FrameCount frames = kFrames) {
        auto left = test::chirp(80.0, 15000.0, kWorkingSampleRate, frames, 0.4);
        test::mixInto(left, test::noise(frames, 0.2, 7));
        auto right = test::sine(997.0, kWorkingSampleRate, frames, 0.3);
        test::mixInto(right, test::noise(frames, 0.3, 11));
        return {left, right};
    }
    // The working file as written (read back independently through libsndfile).
    Channels writeWorking(const Channels& channels) {
        test::writeWave(working(), channels, 44100);
        return test::readSound(working());
    }
    std::unique_ptr<KVOutputController> openSettled() {
        auto controller = KVOutputController::initWithView(nullptr, working(), true);
        EXPECT_TRUE(controller);
        EXPECT_TRUE(test::settle(platform(), [&] { return controller->isPrefillFinished() && !controller->isOverviewRunning(); }));
        return controller;
    }
    void exportAndWait(KVOutputController& controller, const std::string& target, const KVMetadataChunks& chunks = {}) {
        controller.exportToPath(target, chunks);
        controller.waitForExport();
        ASSERT_TRUE(test::settle(platform(), [] { return true; }));
    }
    KVEncodedGrain leftRecord(FramePos k) {
        auto left = KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownLeftPath(working()), true, false);
        KVEncodedGrain grain{};
        left->readRecords(&grain, k, 1);
        return grain;
    }

    std::string mWorkingName = "take.wav";
};

// The master of a file nobody edited is the file: every frame (an odd length too), sample for
// sample (so without lag), only the 16-bit grain coding between them (measured about -110 dB
// here); a mono file gives identical channels in the mixdown and one channel in the export.
TEST_F(MasterOutputTest, UneditedExportEqualsTheWorkingFile) {
    struct Case {
        std::string name;
        Channels signal;
    };
    for (const Case& c : {Case{"stereo", stereoSignal()}, Case{"odd", stereoSignal(kFrames + 77)},
                          Case{"mono", {test::chirp(200.0, 9000.0, kWorkingSampleRate, kFrames, 0.7)}}}) {
        mWorkingName = c.name + ".wav";
        const Channels source = writeWorking(c.signal);
        const FrameCount frames = FrameCount(source[0].size());
        RecordingDelegate delegate;
        auto controller = openSettled();
        controller->setDelegate(&delegate);
        EXPECT_EQ(controller->numFrames(), frames / 128 * 128);
        EXPECT_EQ(controller->numberOfChannels(), int(source.size()));
        const std::string target = temp().file(c.name + "-out.wav");
        exportAndWait(*controller, target);
        int rate = 0;
        const Channels exported = test::readSound(target, &rate);
        ASSERT_EQ(exported.size(), source.size()) << c.name;
        EXPECT_EQ(rate, 44100);
        for (std::size_t ch = 0; ch < source.size(); ++ch) {
            ASSERT_EQ(FrameCount(exported[ch].size()), frames) << c.name;
            const double errorDb = test::maxErrorDb(exported[ch], source[ch]);
            EXPECT_LT(errorDb, -90.0) << c.name << " channel " << ch;
            RecordProperty("max_error_db_" + c.name + "_" + std::to_string(ch), std::to_string(errorDb));
        }
        ASSERT_GE(delegate.progress.size(), 2u);
        EXPECT_EQ(delegate.progress.back(), -1);
        EXPECT_EQ(delegate.progress[delegate.progress.size() - 2], 100);
        EXPECT_EQ(platform().revealedFiles().back(), target);
        EXPECT_FALSE(std::filesystem::exists(KVExportWriter::partialPathFor(target)));
        // Playback from any frame delivers that frame first, in both channels, through the mixdown.
        for (FramePos start : {FramePos(0), FramePos(12345), FramePos(128 * 300)}) {
            controller->setPlayPosition(start);
            std::vector<float> left(2000), right(2000);
            float* buffers[2] = {left.data(), right.data()};
            EXPECT_EQ(controller->readPlayFrames(2000, buffers), 0);
            const auto expected = [&](std::size_t ch) {
                return std::vector<float>(source[ch].begin() + start, source[ch].begin() + start + 2000);
            };
            EXPECT_LT(test::maxErrorDb(left, expected(0)), -90.0) << c.name << " " << start;
            if (source.size() == 2) {
                EXPECT_LT(test::maxErrorDb(right, expected(1)), -90.0) << c.name << " " << start;
            }
        }
        if (source.size() == 1) {
            auto stream = KVMixdownStream::open(working());
            ASSERT_TRUE(stream);
            std::vector<float> left(kFrames), right(kFrames);
            stream->seekToFrame(0);
            stream->read(kFrames, left.data(), right.data());
            EXPECT_EQ(left, right);
            EXPECT_LT(test::maxErrorDb(left, source[0]), -90.0);
        }
    }
}

// The prefill fills only records nobody edited, until the master is reset. A mixdown stored by
// another version is rebuilt (its edits dropped) after the alert, and the dictionary is stamped
// so the next open finds it compatible.
TEST_F(MasterOutputTest, PrefillNeverOverwritesEditedRecordsUntilTheMasterIsRebuilt) {
    writeWorking(stereoSignal());
    const KVEncodedGrain before = constantGrain(0.5f);
    const KVEncodedGrain during = constantGrain(-0.25f);
    const auto editWhileClosed = [&] {
        auto mixdown = KVMixdownStore::openMixdownForFileAtPath(working(), kFrames / 128);
        mixdown.left->writeRecord(before, 40);
    };
    editWhileClosed();
    auto controller = KVOutputController::initWithView(nullptr, working(), true);
    {
        std::lock_guard<std::recursive_mutex> guard(controller->monitor());
        controller->leftMasterCollection()->writeRecord(before, 500);
        controller->rightMasterCollection()->writeRecord(during, 500);
    }
    controller->waitForPrefill();
    const KVEncodedGrain kept40 = leftRecord(40), kept500 = leftRecord(500), prefilled = leftRecord(41);
    EXPECT_EQ(std::memcmp(&kept40, &before, sizeof before), 0);
    EXPECT_EQ(std::memcmp(&kept500, &before, sizeof before), 0);
    KVEncodedGrain right500{};
    controller->rightMasterCollection()->readRecords(&right500, 500, 1);
    EXPECT_EQ(std::memcmp(&right500, &during, sizeof during), 0);
    EXPECT_EQ(prefilled.marker, KVEncodedGrain::kPrefillMarker);

    controller->resetMasterFile();
    controller->waitForPrefill();
    EXPECT_EQ(leftRecord(40).marker, KVEncodedGrain::kPrefillMarker);
    EXPECT_EQ(leftRecord(500).marker, KVEncodedGrain::kPrefillMarker);
    controller.reset();

    editWhileClosed();
    PropertyList old;
    old.setInt("ORVXFileGroup_Version", 258);
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(working(), old);
    openSettled();
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_EQ(failures()[0].title(), "Incompatible Master File");
    EXPECT_EQ(leftRecord(40).marker, KVEncodedGrain::kPrefillMarker);
    EXPECT_TRUE(KVUtilities::chunkFileForFileAtPathIsCompatible(working()));
    openSettled();
    EXPECT_EQ(failures().size(), 1u);
}

// A prefill record cut short by a kill (its marker and first page written, the rest not) and a
// right record never written are written again by the next prefill, as are the records after.
// A kill leaves the side files without the sums of records whose writes it cut short.
TEST_F(MasterOutputTest, ThePrefillRepairsRecordsAKillCutShort) {
    writeWorking(stereoSignal());
    openSettled();
    const std::string left = temp().file("take.analysis/take-collection.analysis/mxl.asp.noindex");
    const std::string right = temp().file("take.analysis/take-collection.analysis/mxr.asp.noindex");
    const std::vector<char> leftBytes = test::fileBytes(left), rightBytes = test::fileBytes(right);
    std::filesystem::resize_file(left, 23 * sizeof(KVEncodedGrain) + 4096);
    std::filesystem::resize_file(right, 23 * sizeof(KVEncodedGrain));
    for (const std::string& data : {left, right})
        std::filesystem::resize_file(RecordChecksums::pathFor(data), RecordChecksums::kHeaderSize + 23 * 4);
    ASSERT_NE(test::fileBytes(left), leftBytes);
    openSettled();
    EXPECT_EQ(test::fileBytes(left), leftBytes);
    EXPECT_EQ(test::fileBytes(right), rightBytes);
}

// A working file with "bext" and "iXML" chunks (one of odd length); the export carries them,
// byte for byte, and Python's wave module reads it as 24-bit 44.1 kHz stereo.
TEST_F(MasterOutputTest, ExportCarriesTheWorkingFilesChunksAndReadsWithPythonWave) {
    const test::Bytes bext = test::patternBytes(602, 3), ixml = test::patternBytes(47, 200);
    test::writeRiffWave(working(), 2, 44100, 24, std::vector<std::int32_t>(2 * kFrames, 100000),
                        {{"bext", bext}, {"iXML", ixml}});
    auto reader = KVAudioFileReader::initWithFileAtPath(working(), 44100, 2);
    KVMetadataChunks chunks = KVUtilities::metadataChunksOfFile(*reader);
    auto controller = openSettled();
    exportAndWait(*controller, temp().file("tagged.wav"), chunks);
    KVUtilities::releaseMetadataChunks(chunks);

    const test::PythonWaveView view = test::readWithPython(temp().file("tagged.wav"));
    ASSERT_TRUE(view.ok) << view.output;
    EXPECT_EQ(std::vector<int>({view.channels, view.sampleWidth, view.rate}), std::vector<int>({2, 3, 44100}));
    EXPECT_EQ(view.frames, kFrames);
    EXPECT_EQ(view.chunks.at("bext"), bext);
    EXPECT_EQ(view.chunks.at("iXML"), ixml);
}

TEST_F(MasterOutputTest, FailedExportLeavesNothingUnderTheTargetName) {
    writeWorking(stereoSignal());
    RecordingDelegate delegate;
    auto controller = openSettled();
    controller->setDelegate(&delegate);
    const std::string missingFolderTarget = temp().file("no such folder/out.wav");
    exportAndWait(*controller, missingFolderTarget);
    EXPECT_EQ(controller->lastExportOutcome(), KVMasterExport::Outcome::CannotCreate);
    // The reason goes to the delegate, which shows it; the controller raises no alert itself.
    ASSERT_EQ(delegate.results.size(), 1u);
    EXPECT_FALSE(delegate.results[0]);
    EXPECT_EQ(delegate.results[0].title(), "Error creating file");
    EXPECT_TRUE(platform().alerts().empty());
    EXPECT_EQ(delegate.progress, std::vector<int>{-1});
    EXPECT_TRUE(platform().revealedFiles().empty());
    controller.reset();  // no worker thread may be left behind in the forked child

    // A write-protected folder, as an unprivileged user; an older file there stays as it was.
    const std::string locked = temp().file("locked");
    std::filesystem::create_directory(locked);
    std::ofstream(locked + "/out.wav") << "older";
    ::chmod(temp().path().c_str(), 0755);
    ::chmod(locked.c_str(), 0555);
    std::recursive_mutex lock;
    const int outcome = test::runUnprivileged([&] {
        std::atomic<bool> cancel{false};
        KVMasterExport exporter(working(), 2, kFrames, lock);
        return static_cast<int>(exporter.run(locked + "/out.wav", {}, cancel, {}));
    });
    EXPECT_EQ(outcome, static_cast<int>(KVMasterExport::Outcome::CannotCreate));
    std::ifstream older(locked + "/out.wav");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "older");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked), {}), 1);
}

// Playback reads on this thread, paced like an audio thread, while the prefill and the
// overview run and edits are committed.
TEST_F(MasterOutputTest, PlaybackReadsWhileWorkersRun) {
    writeWorking(stereoSignal());
    test::FakeOutputView view;
    auto controller = KVOutputController::initWithView(&view, working(), false);
    std::vector<float> left(512), right(512);
    float* buffers[2] = {left.data(), right.data()};
    const KVEncodedGrain edit = constantGrain(0.1f);
    for (int i = 0; !controller->isPrefillFinished() || controller->isOverviewRunning() || i < 50; ++i) {
        controller->readPlayFrames(512, buffers);
        if (i % 20 == 0) {
            std::lock_guard<std::recursive_mutex> guard(controller->monitor());
            controller->leftMasterCollection()->writeRecord(edit, 100 + i);
            controller->setPlayPosition(128 * i);
        }
        platform().pumpMainThread();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ASSERT_LT(i, 100000);
    }
    EXPECT_TRUE(test::settle(platform(), [&] { return !controller->isOverviewRunning(); }));
}

}  // namespace
}  // namespace orvex

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "../dsp/AnalysisHelpers.h"
#include "StubAnalysisView.h"
#include "engine/KVAnalysisRunner.h"
#include "history/KVEditHistory.h"
#include "platform/PropertyList.h"
#include "store/KVAnalysisFileSet.h"
#include "support/PlatformFixture.h"
#include "support/Shell.h"
#include "support/Signals.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr std::int64_t kTwoSeconds = 88200;

class RecordingDelegate : public KVAnalysisRunnerDelegate {
public:
    void analysisRunnerDidProgress(KVAnalysisRunner& runner) override {
        progress.push_back(runner.progress());
        if (progress.size() == 1) flagsAtFirstProgress = dictionary();
        if (cancelAtFirstProgress) runner.cancel();
    }
    void analysisRunnerDidFinish(KVAnalysisRunner&) override { ++finished; }
    PropertyList dictionary() const { return KVUtilities::paramDictForAnalysisOfFileAtPath(path); }

    std::string path;
    std::vector<float> progress;
    PropertyList flagsAtFirstProgress;
    int finished = 0;
    bool cancelAtFirstProgress = false;
};

class RunnerTest : public test::EngineFixture {
protected:
    std::string writeSignal(const std::string& name, std::int64_t frames, int channels = 2) {
        const std::string path = temp().file(name);
        test::writeWave(path, test::toneClicksAndNoise(frames, channels), 44100);
        return path;
    }

    // Analyses the file at path (or its segment [start, end)) into its store and waits for the
    // runner's very end.
    void analyse(const std::string& path, RecordingDelegate& delegate, bool recreate, bool parallel = true,
                 FramePos start = 0, FramePos end = 0) {
        auto history = end > 0 ? KVEditHistory::initWithSegmentOfFile(path, 44100.0, start, end)
                               : KVEditHistory::initWithContentsOfFile(path, 44100.0, false);
        ASSERT_TRUE(history);
        std::shared_ptr<KVAnalysisFileSet> store = KVAnalysisFileSet::initByOpeningFileAtPath(
            path, 44100.0, 4, 4096, 32, history->numberOfChannels(), false, recreate);
        delegate.path = path;
        auto runner = KVAnalysisRunner::initWithEditHistory(history, store, parallel);
        ASSERT_TRUE(runner);
        runner->setDelegate(&delegate);
        // Generous for sanitizer builds; on a timeout the runner is detached from the delegate.
        const bool ended = platform().pumpMainThreadUntil([&] { return runner->hasEnded(); }, 600s);
        runner->setDelegate(nullptr);
        if (!ended) runner->cancel();
        ASSERT_TRUE(ended);
    }

    static std::uintmax_t recordBytes(const std::string& path, const std::string& suffix) {
        const fs::path p(path);
        return fs::file_size(p.parent_path() / (p.stem().string() + ".analysis") /
                             (p.stem().string() + suffix + ".ana.noindex"));
    }
};

TEST_F(RunnerTest, AnalysesWholeBlocksOfEveryChannelAndTheMixWithFlagsAndProgress) {
    const std::string path = writeSignal("tone.wav", kTwoSeconds);
    RecordingDelegate delegate;
    analyse(path, delegate, true);

    // A stored analysis is whole with the blocks read until the position passed the length (11
    // blocks for 88 200 frames, and 8192 does not pass 8192); an analysis now reads until every
    // frame that overlaps the last sample is in, that is 4 095 samples further (12 blocks).
    for (const auto& [frames, records] : {std::pair{0, 64}, {100, 64}, {8191, 64}, {8192, 128}, {88200, 704}})
        EXPECT_EQ(KVAnalysisRunner::expectedFrameCount(frames), records) << frames;
    for (const auto& [frames, records] : {std::pair{0, 64}, {4097, 64}, {4098, 128}, {8192, 128}, {88200, 768}})
        EXPECT_EQ(KVAnalysisRunner::analysedFrameCount(frames, 4096), records) << frames;
    const std::uintmax_t expected = 12u * 8192u / 128u * sizeof(FrameRecord);
    EXPECT_EQ(recordBytes(path, "_0"), expected);
    EXPECT_EQ(recordBytes(path, "_1"), expected);
    EXPECT_EQ(recordBytes(path, "_ovw"), expected);

    EXPECT_FALSE(delegate.flagsAtFirstProgress.getBool("AnalysisCompleteForSelection"));
    EXPECT_FALSE(delegate.flagsAtFirstProgress.getBool("AnalysisDataSelected"));
    EXPECT_TRUE(delegate.flagsAtFirstProgress.has("AnalysisCompleteForSelection"));
    EXPECT_TRUE(delegate.dictionary().getBool("AnalysisCompleteForSelection"));
    EXPECT_FALSE(delegate.dictionary().getBool("AnalysisDataSelected"));

    std::vector<float> expectedProgress;
    for (int block = 1; block <= 11; ++block) expectedProgress.push_back(float(100.0 * block / 12.0));
    expectedProgress.push_back(100.0f);
    // One report a block; a report reads the runner's progress when the main thread gets to it,
    // which on a busy machine may already be a later block's.
    ASSERT_EQ(delegate.progress.size(), expectedProgress.size());
    EXPECT_TRUE(std::is_sorted(delegate.progress.begin(), delegate.progress.end()));
    for (std::size_t i = 0; i < expectedProgress.size(); ++i) {
        const auto near = [&](float e) { return std::fabs(e - delegate.progress[i]) < 1e-3f; };
        EXPECT_TRUE(std::any_of(expectedProgress.begin() + std::ptrdiff_t(i), expectedProgress.end(), near))
            << i << ": " << delegate.progress[i];
    }
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_EQ(platform().soundsPlayed(), std::vector<std::string>{"finished-new.aiff"});

    // Every file holds the tone's partials at their frequencies.
    auto store = KVAnalysisFileSet::initByOpeningFileAtPath(path, 44100.0, 4, 4096, 32, 2, false, false);
    auto record = FrameRecord::create();
    for (std::int32_t channel : {-1, 0, 1}) {
        ASSERT_EQ(store->readFrameRecord(300, *record, channel), 0);
        for (int h = 1; h <= 5; ++h) {
            const float peak = record->binFrequency(record->nearestPeakBin(220.0f * h));
            EXPECT_NEAR(peak, 220.0f * h, 3.0f) << "channel " << channel << " partial " << h;
        }
    }
}

TEST_F(RunnerTest, CancellingStopsAtABlockBoundaryAndStillReportsCompletion) {
    const std::string path = writeSignal("long.wav", 60000, 1);  // 8 blocks
    RecordingDelegate delegate;
    delegate.cancelAtFirstProgress = true;
    analyse(path, delegate, true);

    const std::uintmax_t bytes = recordBytes(path, "_ovw");
    const std::uintmax_t blockBytes = 64u * sizeof(FrameRecord);
    EXPECT_EQ(bytes % blockBytes, 0u);
    EXPECT_GE(bytes, blockBytes);
    EXPECT_LT(bytes, 8u * blockBytes);
    EXPECT_EQ(recordBytes(path, "_0"), bytes);
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_FLOAT_EQ(delegate.progress.back(), 100.0f);
    EXPECT_TRUE(delegate.dictionary().getBool("AnalysisCompleteForSelection"));

    // The partial analysis is flagged complete but too short: a plain re-run analyses it again.
    RecordingDelegate rerun;
    analyse(path, rerun, false);
    EXPECT_EQ(rerun.progress.size(), 8u);
    EXPECT_EQ(recordBytes(path, "_ovw"), 8u * blockBytes);
    EXPECT_EQ(recordBytes(path, "_0"), 8u * blockBytes);
}

TEST_F(RunnerTest, ParallelWorkersStoreTheSameBytesAsOneThread) {
    const std::string serialPath = writeSignal("serial.wav", 30000);
    fs::create_directory(temp().file("p"));
    const std::string parallelPath = temp().file("p/serial.wav");
    fs::copy_file(serialPath, parallelPath);
    RecordingDelegate serial, parallel;
    analyse(serialPath, serial, true, false);
    analyse(parallelPath, parallel, true, true);
    for (const char* name : {"serial_0", "serial_1", "serial_ovw"}) {
        for (const char* suffix : {".ana.noindex", ".asp.noindex"}) {
            const std::string file = std::string(name) + suffix;
            const std::vector<char> a = test::fileBytes((temp().path() / "serial.analysis" / file).string());
            const std::vector<char> b = test::fileBytes((temp().path() / "p" / "serial.analysis" / file).string());
            // 30 000 frames and the 4 095 after them: 5 blocks.
            EXPECT_EQ(a.size(), 5u * 64u * (file.find(".ana") != std::string::npos ? sizeof(FrameRecord) : 8208u));
            EXPECT_TRUE(a == b) << file;
        }
    }
}

// Every stream of a segment that starts inside a file holds, frame for frame, the records of that
// stream analysed on its own from the sound before the segment on: the file's channels and their
// mean, each fed to a processor of its own.
TEST_F(RunnerTest, ASegmentInsideAFileIsAnalysedFromTheSoundBeforeIt) {
    constexpr FramePos kStart = 20000, kEnd = 40000;
    const std::string path = writeSignal("inside.wav", 60000);
    RecordingDelegate delegate;
    analyse(path, delegate, true, true, kStart, kEnd);
    const test::Channels file = test::readSound(path);
    const std::vector<float> mix = test::channelMean(file);
    const std::int64_t lead = 4096 - 128;
    for (const auto& [name, samples] :
         {std::pair{"inside_0", &file[0]}, {"inside_1", &file[1]}, {"inside_ovw", &mix}}) {
        SpectralProcessor alone(4096, 32, 4, 44100.0);
        test::RecordSink sink;
        sink.attach(alone);
        alone.primeInput(samples->data() + kStart - lead);
        alone.feedSamples(std::int64_t(samples->size()) - kStart, samples->data() + kStart);
        const std::vector<char> stored =
            test::fileBytes((temp().path() / "inside.analysis" / (std::string(name) + ".ana.noindex")).string());
        // 20 000 frames and the 4 095 after them: 3 blocks of 64 records.
        ASSERT_EQ(stored.size(), 3u * 64u * sizeof(FrameRecord)) << name;
        for (std::size_t k = 0; k < 3u * 64u; ++k) {
            FrameRecord& expected = *sink.records[k];
            const auto& got = *reinterpret_cast<const FrameRecord*>(stored.data() + k * sizeof(FrameRecord));
            // The store keeps the range of the frame's resynthesised grain in place of the
            // analysed one.
            expected.minimumSample = got.minimumSample;
            expected.maximumSample = got.maximumSample;
            ASSERT_EQ(std::memcmp(&got, &expected, sizeof(FrameRecord)), 0) << name << " frame " << k;
        }
    }
}

}  // namespace
}  // namespace orvex

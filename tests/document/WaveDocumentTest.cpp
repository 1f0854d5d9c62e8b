// The document model headless: the opening sequence with its alerts, the list of open
// documents, the mode set-up, the command rules per tab, the busy refusal and closing.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "control/FakeViews.h"
#include "document/KVOpenDocuments.h"
#include "document/KVWaveDocument.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVAnalysisRunner.h"
#include "playback/ManualAudioBackend.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"
#include "support/Unprivileged.h"
#include "utilities/KVUtilities.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RecordingWindow : public KVDocumentWindow {
public:
    KVSegmentViewInterface* segmentView() override { return withViews ? &input : nullptr; }
    void setTitle(const std::string& text) override { title = text; }
    void showCommandState(const KVDocumentCommandState& shown) override { state = shown; }
    void setFreeDiskSpaceText(const std::string& text) override { freeSpace = text; }

    bool withViews = true;
    FakeSegmentView input;
    std::string title, freeSpace;
    KVDocumentCommandState state;
};

class WaveDocumentTest : public PlatformFixture {
protected:
    std::string sound(const std::string& name, int rate = 44100, int channels = 1, double seconds = 3.0) {
        const std::string path = temp().file(name);
        writeWave(path, Channels(channels, sine(440.0, rate, std::int64_t(seconds * rate), 0.3)), rate);
        return path;
    }
    KVOpenDocuments::Opened open(const std::string& path) {
        return mDocuments.openDocumentAtPath(path, [this](Result&) {
            KVDocumentOptions options;
            options.highQualityDrawing = false;
            options.makeOutput = [] { return std::make_unique<ManualAudioBackend>(); };
            return std::make_unique<KVWaveDocument>(&mWindow, options);
        });
    }
    std::vector<std::string> alertTitles() {
        std::vector<std::string> titles;
        for (const auto& alert : platform().alerts()) titles.push_back(alert.title);
        return titles;
    }
    bool pumpUntil(const std::function<bool()>& done) { return platform().pumpMainThreadUntil(done, 300s); }

    RecordingWindow mWindow;
    KVOpenDocuments mDocuments;
};

TEST_F(WaveDocumentTest, RefusalsShowTheirAlertAndLeaveNoDocument) {
    const std::string text = temp().file("notes.wav"), empty = temp().file("empty.wav");
    std::ofstream(text) << "not a sound\n";
    writeRiffWave(empty, 1, 44100, 16, {}, {});
    struct Case {
        std::string path, title, message, button;
    };
    for (const Case& c : {Case{text, "Unreadable file \"notes.wav\"",
                               "This is not an audio file: its contents are in no sound file format.", "Bummer"},
                          Case{empty, "Unreadable file \"empty.wav\"", "The sound file holds no audio (0 frames).",
                               "Bummer"},
                          Case{sound("three.wav", 44100, 3), "Unsupported number of channels in \"three.wav\"",
                               "This file is neither a mono or stereo recording", "Ok"}}) {
        const auto opened = open(c.path);
        EXPECT_FALSE(opened.result);
        EXPECT_EQ(opened.result.title(), c.title);
        const auto alert = platform().alerts().back();
        EXPECT_EQ(alert.title, c.title);
        EXPECT_EQ(alert.message, c.message);
        EXPECT_EQ(alert.buttons, std::vector<std::string>{c.button});
    }
    EXPECT_EQ(mDocuments.count(), 0u);

    // A 96 kHz file is warned about, converted and opened.
    const auto fast = open(sound("fast.wav", 96000));
    ASSERT_TRUE(fast.result) << fast.result.text();
    const auto warning = platform().alerts().at(3);
    EXPECT_EQ(warning.title, "Sample rate warning \"fast.wav\"");
    EXPECT_EQ(warning.message,
              "This file has a sample rate that is out of range and will be automatically converted during analysis");
    EXPECT_EQ(warning.buttons, std::vector<std::string>{"Ok"});
    EXPECT_EQ(fast.document->workingFilePath(), temp().file("fast[orvx].wav"));
    EXPECT_EQ(mWindow.title, "fast[orvx]");
}

TEST_F(WaveDocumentTest, NoWriteAccessToTheAnalysisFolderIsRefusedWithItsNumber) {
    const fs::path shared = temp().file("shared");
    fs::create_directories(shared / "locked");
    fs::create_directories(shared / "kept/take.analysis");
    writeWave((shared / "locked/take.wav").string(), {sine(440, 44100, 44100)}, 44100);
    writeWave((shared / "kept/take.wav").string(), {sine(440, 44100, 44100)}, 44100);
    for (const fs::path& p : {temp().path(), shared, shared / "locked", shared / "kept"})
        ::chmod(p.c_str(), 0755);
    ::chmod((shared / "kept/take.analysis").c_str(), 0555);
    const int code = runUnprivileged([&] {
        ::chmod((shared / "locked").c_str(), 0555);  // no effect unless owned; checked below
        KVOpenDocuments documents;
        const auto make = [](Result&) { return std::make_unique<KVWaveDocument>(nullptr); };
        const auto kept = documents.openDocumentAtPath((shared / "kept/take.wav").string(), make);
        const auto locked = documents.openDocumentAtPath((shared / "locked/take.wav").string(), make);
        const bool ok = kept.result.title() == "No write access to destination (2)" &&
                        locked.result.title() == "No write access to destination (1)" && documents.count() == 0;
        return ok ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(WaveDocumentTest, AFileOpenUnderAnotherSpellingIsBroughtBackNotOpenedTwice) {
    const std::string path = sound("take.wav");
    ASSERT_TRUE(open(path).result);
    fs::create_symlink(path, temp().file("link.wav"));
    for (const std::string& spelling : {temp().path().string() + "/./take.wav", temp().file("link.wav")}) {
        const int beeps = platform().beepCount();
        const auto again = open(spelling);
        EXPECT_TRUE(again.alreadyOpen) << spelling;
        EXPECT_EQ(again.document, mDocuments.documents().front().get());
        EXPECT_EQ(platform().beepCount(), beeps + 1);
    }
    EXPECT_EQ(mDocuments.count(), 1u);
}

TEST_F(WaveDocumentTest, TheModeIsAskedTheFirstTimeAndReusedAfterAndStoreFailuresAreShown) {
    const std::string path = sound("take.wav");
    platform().queueAlertAnswer(AlertButton::Alternate);  // Extract
    auto opened = open(path);
    ASSERT_TRUE(opened.result);
    EXPECT_EQ(alertTitles(), std::vector<std::string>{"Auto setup document?"});
    EXPECT_EQ(opened.document->documentMode(), DocumentMode::Extract);
    EXPECT_TRUE(mWindow.state.snapToGrid && mWindow.state.showOriginal && !mWindow.state.gainControlsEnabled);
    EXPECT_EQ(KVUtilities::paramDictForAnalysisOfFileAtPath(path).getInt("DocumentConfiguredForMode"), 1);
    mDocuments.close(opened.document);

    PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(path);
    dict.setInt("DocumentConfiguredForMode", 2);
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(path, dict);
    opened = open(path);
    EXPECT_EQ(platform().alerts().size(), 1u);
    EXPECT_EQ(opened.document->documentMode(), DocumentMode::Suppress);
    EXPECT_TRUE(!mWindow.state.snapToGrid && mWindow.state.showOriginal);

    // The store reports a folder of another version; the open document shows it as an alert.
    PropertyList old;
    old.setInt("ORVXFileGroup_Version", 258);
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(path, old);
    ASSERT_TRUE(opened.document->outputController());
    platform().pumpMainThread();
    const auto alerts = platform().alerts();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1].title, "Incompatible Master File");
    EXPECT_EQ(alerts[1].message,
              "The mixdown file associated with the source audio file is in an incompatible format. Most likely it "
              "was created with an older version of this application. Orvex will automatically correct the problem "
              "for you");
    EXPECT_EQ(alerts[1].buttons, std::vector<std::string>{"Okay"});
    EXPECT_TRUE(failures().empty());  // the document showed it
}

TEST_F(WaveDocumentTest, CommandRulesPerTab) {
    auto opened = open(sound("take.wav"));
    ASSERT_TRUE(opened.result);
    KVWaveDocument& document = *opened.document;

    EXPECT_TRUE(document.selectAll());  // input tab: the whole file in the input view
    EXPECT_EQ(mWindow.input.selectionStartFrame(), 0);
    EXPECT_GT(mWindow.input.selectionEndFrame(), 3 * 44100 - 128);  // the view snaps it to a whole frame
    int beeps = platform().beepCount();
    document.tabDidChange(PlaySource::Analysis);  // no analysis yet
    EXPECT_EQ(document.selectAll().title(), "No analysis");
    document.tabDidChange(PlaySource::Output);
    EXPECT_FALSE(document.selectAll());
    const Result refused = document.isolateDeterministic();  // nothing without an analysis, silently
    EXPECT_EQ(refused.title(), "No analysis");
    EXPECT_EQ(document.perform(EditorCommand::KeepTransients).title(), "No analysis");
    EXPECT_EQ(platform().beepCount(), beeps + 2);
    EXPECT_FALSE(document.canUndo());
    EXPECT_FALSE(document.undo());

    document.setPlayPosition(4000);
    document.rewind();
    EXPECT_EQ(document.playPosition(), 0);  // clamped at the start
    document.forward();
    EXPECT_EQ(document.playPosition(), 11025);

    EXPECT_EQ(KVWaveDocument::freeSpaceText(-1), "-- GB");
    EXPECT_EQ(KVWaveDocument::freeSpaceText(1'500'000'000), "1.50 GB");
    EXPECT_NE(mWindow.freeSpace, "");
}

TEST_F(WaveDocumentTest, ASecondCommandWhileOneRunsIsRefusedAndClosingDoesNotWait) {
    mWindow.withViews = false;
    platform().queueAlertAnswer(AlertButton::Alternate);  // Extract: nothing selected on its own
    auto opened = open(sound("take.wav", 44100, 2));
    ASSERT_TRUE(opened.result);
    KVWaveDocument& document = *opened.document;
    ASSERT_TRUE(document.analyzeSegment(0, 3 * 44100, false));
    ASSERT_TRUE(pumpUntil([&] { return document.analysisController()->runner()->hasEnded(); }));
    document.tabDidChange(PlaySource::Analysis);

    ASSERT_TRUE(document.isolateDeterministic());
    const int beeps = platform().beepCount();
    EXPECT_TRUE(document.isBusy());
    EXPECT_EQ(document.isolateStochastic().title(), KVWaveDocument::busy().title());
    EXPECT_FALSE(document.undo());
    EXPECT_EQ(document.exportCurrentSegment(temp().file("out.wav")).text(), KVWaveDocument::busy().text());
    EXPECT_EQ(platform().beepCount(), beeps + 3);
    ASSERT_TRUE(pumpUntil([&] { return !document.isBusy(); }));
    EXPECT_TRUE(document.canUndo());

    // Export on its worker, then close while another operation runs.
    ASSERT_TRUE(document.exportCurrentSegment(temp().file("out.wav")));
    ASSERT_TRUE(pumpUntil([&] { return !document.isBusy(); }));
    platform().pumpMainThread();
    EXPECT_EQ(document.lastExport().outcome, KVExportWriter::Outcome::Written);
    EXPECT_EQ(readSound(temp().file("out.wav")).at(0).size(), std::size_t(3 * 44100));
    ASSERT_TRUE(document.isolateStochastic());
    const std::weak_ptr<KVAnalysisController> controller = document.analysisController()->shared_from_this();
    mDocuments.close(&document);
    EXPECT_EQ(mDocuments.count(), 0u);
    // The worker lets the controller go once it has finished; the test ends after it, not before.
    EXPECT_TRUE(pumpUntil([&] { return controller.expired(); }));
}

// A converted copy is deleted with its document unless another open document works on it; a
// second source of the same name gets a copy of its own.
TEST_F(WaveDocumentTest, ConvertedCopiesAreNeitherSharedSilentlyNorDeletedWhileUsed) {
    const std::string source = sound("take.wav", 48000);
    const std::string copy = temp().file("take[orvx].wav");
    auto first = open(source);
    ASSERT_TRUE(first.result);
    ASSERT_EQ(first.document->workingFilePath(), copy);
    EXPECT_EQ(alertTitles(), std::vector<std::string>{"Auto setup document?"});  // 48 kHz: no rate warning
    // The copy itself, a 44.1 kHz file: its analysis folder is the first document's, so a
    // second writer is refused.
    auto second = open(copy);
    EXPECT_FALSE(second.result);
    EXPECT_NE(second.result.text().find("in use"), std::string::npos) << second.result.text();
    mDocuments.close(first.document);

    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    const std::string other = temp().file("take.aif");
    SNDFILE* file = sf_open(other.c_str(), SFM_WRITE, &info);
    const std::vector<float> tone = sine(220, 22050, 22050, 0.3);
    sf_writef_float(file, tone.data(), sf_count_t(tone.size()));
    sf_close(file);
    auto aif = open(other);
    ASSERT_TRUE(aif.result) << aif.result.text();
    const std::vector<std::string> titles = alertTitles();  // 22.05 kHz is warned about
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Sample rate warning \"take.aif\""), 1);
    EXPECT_EQ(aif.document->workingFilePath(), temp().file("take.aif[orvx].wav"));
    mDocuments.close(aif.document);
    EXPECT_FALSE(fs::exists(temp().file("take.aif[orvx].wav")));

    first = open(source);
    ASSERT_TRUE(first.result);
    EXPECT_EQ(first.document->workingFilePath(), copy);
    mDocuments.close(first.document);
    EXPECT_FALSE(fs::exists(copy));
}

}  // namespace
}  // namespace orvex::test

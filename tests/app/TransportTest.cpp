// The transport of a document window on the offscreen platform, heard through a silent output
// paced in real time whose cycles the test records: the volume slider at -6.02 dB halves what is
// played, looping wraps at the end of the input selection, Space stops, and a double click in the
// master overview puts both cursors under the mouse and Play on the master tab starts there.
// The recorded samples are compared with the generated file read back by libsndfile.
#include <QAbstractButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <sndfile.h>

#include <mutex>

#include "app/DesktopDocuments.h"
#include "app/KVEditorWindow.h"
#include "control/KVOutputController.h"
#include "playback/PacedAudioBackend.h"
#include "qtsupport/QtTestSupport.h"
#include "support/Signals.h"
#include "views/KVOutputFileView.h"
#include "views/KVWaveSegmentView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr float kLevelStep = 1.0f / 32768.0f;

// What the paced output was asked to play, left channel, every cycle in order.
struct Recording {
    std::mutex mutex;
    std::vector<float> left;
    AudioRenderProc proc = nullptr;
    void* reference = nullptr;

    void clear() {
        std::lock_guard<std::mutex> guard(mutex);
        left.clear();
    }
    std::vector<float> copy() {
        std::lock_guard<std::mutex> guard(mutex);
        return left;
    }
    // The recording from the first sound on (silence comes before play starts).
    std::vector<float> fromFirstSound() {
        std::vector<float> all = copy();
        const auto first = std::find_if(all.begin(), all.end(), [](float v) { return v != 0.0f; });
        return {first, all.end()};
    }
};

// A paced silent output that records each cycle after the engine has rendered it.
class RecordingOutput : public PacedAudioBackend {
public:
    explicit RecordingOutput(std::shared_ptr<Recording> recording) : mRecording(std::move(recording)) {}

    Status setRenderCallback(AudioRenderProc proc, void* reference) override {
        mRecording->proc = proc;
        mRecording->reference = reference;
        return PacedAudioBackend::setRenderCallback(&RecordingOutput::render, mRecording.get());
    }

private:
    static Status render(void* reference, const AudioBufferList* list) {
        auto* recording = static_cast<Recording*>(reference);
        const Status status = recording->proc(recording->reference, list);
        const auto* left = static_cast<const float*>(list->buffers[0].data);
        std::lock_guard<std::mutex> guard(recording->mutex);
        recording->left.insert(recording->left.end(), left, left + list->buffers[0].dataByteSize / sizeof(float));
        return status;
    }

    std::shared_ptr<Recording> mRecording;
};

// A stereo 16-bit file with no zero sample: a sine around a constant, so the first sound in the
// recording is the first frame played.
Channels writeOffsetSines(const QString& path, FrameCount frames) {
    std::vector<float> left = sine(220.0, 44100, frames, 0.2), right = sine(330.0, 44100, frames, 0.2);
    for (float& v : left) v += 0.3f;
    for (float& v : right) v -= 0.3f;
    writeWave(path.toStdString(), {left, right}, 44100, SF_FORMAT_PCM_16);
    return readSound(path.toStdString());
}

// Largest difference between the recording from offset on and gain x expected[start + n].
float largestError(const std::vector<float>& recorded, const std::vector<float>& expected, FramePos start,
                   std::size_t count, double gain) {
    float largest = 0;
    for (std::size_t n = 0; n < count; ++n)
        largest = std::max(largest, std::abs(recorded[n] - float(gain * expected[std::size_t(start) + n])));
    return largest;
}
}  // namespace

class TransportTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        mScope = std::make_unique<QtPlatformScope>();
        mRecording = std::make_shared<Recording>();
        KVDocumentOptions options;
        options.makeOutput = [recording = mRecording] { return std::make_unique<RecordingOutput>(recording); };
        mDocuments = std::make_unique<DesktopDocuments>(options);
    }
    void cleanup() {
        mDocuments.reset();
        mScope.reset();
    }
    void volumeHalvesLoopWrapsAtTheSelectionsEndSpaceStops();
    void doubleClickInTheMasterThenPlayStartsThere();

private:
    KVEditorWindow* open(const QString& path) {
        KVEditorWindow* window = openWindow(*mDocuments, path);
        if (window) window->show();
        return window;
    }

    std::unique_ptr<QtPlatformScope> mScope;
    std::shared_ptr<Recording> mRecording;
    std::unique_ptr<DesktopDocuments> mDocuments;
};

// The input tab plays its selection (the 2-second minimum at the start of the file): with the
// loop on, frame n of the recording is frame n mod the selection's length of the file.
void TransportTest::volumeHalvesLoopWrapsAtTheSelectionsEndSpaceStops() {
    const QString sound = mScope->file("take.wav");
    const Channels file = writeOffsetSines(sound, 3 * 44100);
    KVEditorWindow* window = open(sound);
    QVERIFY(window);
    KVWaveDocument* document = mDocuments->documentOfWindow(window);
    KVWaveSegmentView* view = window->segmentView();
    const FrameCount selection = view->selectionEndFrame() - view->selectionStartFrame();
    QCOMPARE(view->selectionStartFrame(), FramePos(0));
    QVERIFY(selection >= 88200 && selection < FrameCount(file[0].size()));

    window->volumeSlider()->setFocus();
    window->volumeSlider()->setValue(KVEditorWindow::sliderValue(-6.02));
    QCOMPARE(window->volumeText()->text(), QString("-6.02 dB"));
    QTest::mouseClick(window->button("uiLoopButton"), Qt::LeftButton);
    QVERIFY(window->button("uiLoopButton")->isChecked());

    view->setFocus();
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(document->isPlaying());
    QTRY_VERIFY_WITH_TIMEOUT(view->playCursor() > 11025, 5000);  // the cursor follows
    const std::size_t wanted = std::size_t(selection) + 11025;
    QTRY_VERIFY_WITH_TIMEOUT(mRecording->fromFirstSound().size() > wanted, 15000);
    QVERIFY(document->isPlaying());  // still looping past the selection's end
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(!document->isPlaying());
    QVERIFY(window->button("uiStopButton")->isChecked());
    const std::size_t stoppedAt = mRecording->copy().size();

    const std::vector<float> heard = mRecording->fromFirstSound();
    const double gain = std::pow(10.0, -6.02 * 0.05);
    QVERIFY(std::abs(gain - 0.5) < 1e-3);
    QVERIFY(largestError(heard, file[0], 0, std::size_t(selection), gain) <= kLevelStep);
    const std::vector<float> afterWrap(heard.begin() + selection, heard.end());
    QVERIFY(largestError(afterWrap, file[0], 0, 11025, gain) <= kLevelStep);
    // Nothing is played after the stop but the cycle that was under way.
    QTRY_VERIFY_WITH_TIMEOUT(mRecording->copy().size() > stoppedAt + 4096, 5000);
    const std::vector<float> after = mRecording->copy();
    QVERIFY(std::all_of(after.begin() + std::ptrdiff_t(stoppedAt + 1024), after.end(), [](float v) { return v == 0.0f; }));
}

// x = 100 in a 1000-pixel master overview: frame 100 x the mixdown's length / 1000.
void TransportTest::doubleClickInTheMasterThenPlayStartsThere() {
    const QString sound = mScope->file("long.wav");
    const Channels file = writeOffsetSines(sound, 441'000);
    KVEditorWindow* window = open(sound);
    QVERIFY(window);
    KVWaveDocument* document = mDocuments->documentOfWindow(window);
    KVOutputController* master = document->outputController();
    QVERIFY(master);
    master->waitForPrefill();
    QTabBar* tabs = window->tabs()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(KVEditorWindow::kOutputTab).center());
    QCOMPARE(document->selectedTab(), PlaySource::Output);
    KVOutputFileView* view = window->outputView();
    view->setFixedWidth(1000);
    QTRY_COMPARE(view->width(), 1000);
    QCOMPARE(view->numFrames(), FrameCount(441'000 / 128 * 128));

    QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(100, view->height() / 2));
    const FramePos expected = FramePos(100 * view->framesPerPixel());
    QCOMPARE(expected, FramePos(44'096));  // 440 960 frames over 1000 pixels
    QCOMPARE(view->editCursor(), expected);
    QCOMPARE(view->playCursor(), expected);

    // Twice: the second play starts at the edit cursor again, not where the first one stopped.
    for (int round = 0; round < 2; ++round) {
        const std::size_t quiet = mRecording->copy().size();  // the cycle under way at the stop is over
        if (round > 0) QTRY_VERIFY_WITH_TIMEOUT(mRecording->copy().size() > quiet + 2048, 5000);
        mRecording->clear();
        QTest::mouseClick(window->button("uiPlayButton"), Qt::LeftButton);
        QVERIFY(document->isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(mRecording->fromFirstSound().size() > 8192, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(view->playCursor() > expected + 4096, 5000);  // the master's cursor follows
        QTest::mouseClick(window->button("uiStopButton"), Qt::LeftButton);
        QVERIFY(!document->isPlaying());
        QCOMPARE(document->playPosition(), expected);  // back to the edit cursor
        QVERIFY(largestError(mRecording->fromFirstSound(), file[0], expected, 8192, 1.0) <= 3 * kLevelStep);
    }
}

QTEST_MAIN(TransportTest)
#include "TransportTest.moc"

// The transport of a document window on the offscreen platform, heard through a silent output
// whose cycles the test pulls itself: the volume slider at -6.02 dB halves what is played, looping
// wraps at the end of the input selection, Space stops, and a double click in the master overview
// (not a single one) puts both cursors under the mouse and Space or Play on the master tab starts
// there, at the same level. What is heard is compared with the generated file read back by
// libsndfile.
#include <QAbstractButton>
#include <QLabel>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "app/DesktopDocuments.h"
#include "app/KVEditorWindow.h"
#include "control/KVOutputController.h"
#include "playback/ManualAudioBackend.h"
#include "qtsupport/QtTestSupport.h"
#include "support/Signals.h"
#include "views/KVOutputFileView.h"
#include "views/KVWaveSegmentView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr float kLevelStep = 1.0f / 32768.0f;
constexpr FrameCount kCycle = 1024;

// Largest difference between heard[n] and gain x expected[start + n] over count frames.
float largestError(const std::vector<float>& heard, const std::vector<float>& expected, FramePos start,
                   std::size_t count, double gain) {
    float largest = 0;
    for (std::size_t n = 0; n < count; ++n)
        largest = std::max(largest, std::abs(heard[n] - float(gain * expected[std::size_t(start) + n])));
    return largest;
}
}  // namespace

class TransportTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        mScope = std::make_unique<QtPlatformScope>();
        KVDocumentOptions options;
        options.makeOutput = [this] {
            auto output = std::make_unique<ManualAudioBackend>(kCycle);
            mOutput = output.get();
            return output;
        };
        mDocuments = std::make_unique<DesktopDocuments>(options);
    }
    void cleanup() {
        mDocuments.reset();
        mScope.reset();
    }
    void inputLoopsAtHalfTheLevelMasterPlaysFromTheDoubleClickedFrame();

private:
    // The left channel of whole cycles pulled from the output until at least frames were heard.
    std::vector<float> pull(std::size_t frames) {
        std::vector<float> heard, left(kCycle), right(kCycle);
        while (heard.size() < frames) {
            mOutput->pullStereo(left.data(), right.data(), kCycle);
            heard.insert(heard.end(), left.begin(), left.end());
        }
        return heard;
    }

    std::unique_ptr<QtPlatformScope> mScope;
    ManualAudioBackend* mOutput = nullptr;  // the output of the document's first play
    std::unique_ptr<DesktopDocuments> mDocuments;
};

// The input tab plays its selection (the 2-second minimum at the start of the file): with the
// loop on, frame n heard is frame n mod the selection's length of the file, at half the level.
// Then in the master overview x = 100 of 1000 pixels is frame 100 x the mixdown's length / 1000,
// and play on the master tab starts there, at the same level.
void TransportTest::inputLoopsAtHalfTheLevelMasterPlaysFromTheDoubleClickedFrame() {
    const QString sound = mScope->file("take.wav");
    writeTestWave(sound, 10.0);
    const Channels file = readSound(sound.toStdString());
    KVEditorWindow* window = openWindow(*mDocuments, sound);
    QVERIFY(window);
    window->show();
    KVWaveDocument* document = mDocuments->documentOfWindow(window);
    KVWaveSegmentView* input = window->segmentView();
    const FrameCount selection = input->selectionEndFrame() - input->selectionStartFrame();
    QCOMPARE(input->selectionStartFrame(), FramePos(0));
    QVERIFY(selection >= 88200 && selection < FrameCount(file[0].size()));

    window->volumeSlider()->setFocus();
    window->volumeSlider()->setValue(KVEditorWindow::sliderValue(-6.02));
    QCOMPARE(window->volumeText()->text(), QString("-6.02 dB"));
    QTest::mouseClick(window->button("uiLoopButton"), Qt::LeftButton);

    input->setFocus();
    QTest::keyClick(input, Qt::Key_Space);
    QVERIFY(document->isPlaying());
    std::vector<float> heard = pull(16 * kCycle);
    QTRY_COMPARE_WITH_TIMEOUT(input->playCursor(), FramePos(16 * kCycle), 30000);  // the cursor follows
    const std::vector<float> more = pull(std::size_t(selection) + 11025 - heard.size());
    heard.insert(heard.end(), more.begin(), more.end());
    QVERIFY(document->isPlaying());  // still looping past the selection's end
    QTest::keyClick(input, Qt::Key_Space);
    QVERIFY(!document->isPlaying());
    QVERIFY(window->button("uiStopButton")->isChecked());
    const std::vector<float> after = pull(4 * kCycle);
    QVERIFY(std::all_of(after.begin(), after.end(), [](float v) { return v == 0.0f; }));

    const double gain = std::pow(10.0, -6.02 * 0.05);  // half the level
    QVERIFY(largestError(heard, file[0], 0, std::size_t(selection), gain) <= kLevelStep);
    const std::vector<float> afterWrap(heard.begin() + selection, heard.end());
    QVERIFY(largestError(afterWrap, file[0], 0, 11025, gain) <= kLevelStep);

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

    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(300, view->height() / 2));  // a single click does nothing
    QCOMPARE(view->editCursor(), FramePos(0));
    QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(100, view->height() / 2));
    const FramePos expected = FramePos(100 * view->framesPerPixel());
    QCOMPARE(expected, FramePos(44'096));  // 440 960 frames over 1000 pixels
    QCOMPARE(view->editCursor(), expected);
    QCOMPARE(view->playCursor(), expected);

    // Twice, from Space on the view and from the Play button: the second play starts at the edit
    // cursor again, not where the first one stopped.
    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            QTest::keyClick(view, Qt::Key_Space);
        else
            QTest::mouseClick(window->button("uiPlayButton"), Qt::LeftButton);
        QVERIFY(document->isPlaying());
        const std::vector<float> heard = pull(8 * kCycle);
        QTRY_VERIFY_WITH_TIMEOUT(view->playCursor() > expected + 4096, 30000);  // the master's cursor follows
        QTest::mouseClick(window->button("uiStopButton"), Qt::LeftButton);
        QVERIFY(!document->isPlaying());
        QCOMPARE(document->playPosition(), expected);  // back to the edit cursor
        QVERIFY(largestError(heard, file[0], expected, heard.size(), gain) <= 3 * kLevelStep);
    }
}

QTEST_MAIN(TransportTest)
#include "TransportTest.moc"

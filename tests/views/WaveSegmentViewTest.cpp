// The input overview on the offscreen platform: the y mapping, frames per pixel, real mouse
// clicks moving the segment edges, snapping onto the analysed range, and the picture of a
// generated stereo file fed by the real segment controller.
#include <QtTest>

#include "control/KVSegmentController.h"
#include "history/KVEditHistory.h"
#include "qtsupport/QtTestSupport.h"
#include "views/BottomUpMapping.h"
#include "views/KVWaveSegmentView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr FrameCount kSecond = 44100;

FramePos blockBelow(double frame) { return static_cast<FramePos>(frame) / 128 * 128; }

// themeColor08 (204, 204, 229); the labels (190, 207, 255) are bluer.
bool isWaveform(QColor c) {
    return c.red() > 170 && std::abs(c.red() - c.green()) < 8 && c.blue() - c.red() > 10 && c.blue() - c.red() < 40;
}
bool isLabel(QColor c) { return c.blue() > 150 && c.red() > 90; }
bool isYellowish(QColor c) { return c.red() > 150 && c.green() > 150 && c.blue() < 120; }
}  // namespace

class WaveSegmentViewTest : public QObject {
    Q_OBJECT
private slots:
    void bottomUpMappingIsItsOwnInverse();
    void widthZeroKeepsFramesPerPixelFinite();
    void clicksMoveTheEdgesOnBlocks_data();
    void clicksMoveTheEdgesOnBlocks();
    void clicksNearTheAnalysedRangeSnapOntoIt();
    void spaceAsksToPlayAndNextSegmentKeepsTheLength();
    void pictureOfAGeneratedStereoFile();
    void captionsStayInsideAndClearOfTheTitle();
};

void WaveSegmentViewTest::bottomUpMappingIsItsOwnInverse() {
    const BottomUpMapping y(300);
    QCOMPARE(y.toWidgetY(0), 300.0);
    QCOMPARE(y.toWidgetY(300), 0.0);
    QCOMPARE(y.fromWidgetY(y.toWidgetY(75.5)), 75.5);
    QCOMPARE(y.toWidget(QRectF(10, 20, 30, 40)), QRectF(10, 240, 30, 40));
}

void WaveSegmentViewTest::widthZeroKeepsFramesPerPixelFinite() {
    KVWaveSegmentView view;
    view.setNumFrames(10 * kSecond);
    view.setMinimumSize(0, 0);
    view.resize(0, 100);
    QCOMPARE(view.framesPerPixel(), double(10 * kSecond));
    view.rebuildPicture();  // must not divide by zero or crash
    QVERIFY(!view.cachedPicture().isNull());
}

void WaveSegmentViewTest::clicksMoveTheEdgesOnBlocks_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    const double fpp = 60.0 * kSecond / 1000;  // a 60 s file over 1000 pixels
    // The view starts with 10 s .. 30 s selected.
    QTest::newRow("upper half moves the start") << 150 << true << qint64(blockBelow(150 * fpp)) << qint64(30 * kSecond / 128 * 128);
    QTest::newRow("lower half moves the end") << 700 << false << qint64(10 * kSecond / 128 * 128) << qint64(blockBelow(700 * fpp));
    QTest::newRow("start pushed past the end keeps 2 s")
        << 600 << true << qint64(blockBelow(600 * fpp)) << qint64(blockBelow(600 * fpp) + 88'320);
    QTest::newRow("end before the start pulls the start along")
        << 100 << false << qint64(blockBelow(100 * fpp) - 88'320) << qint64(blockBelow(100 * fpp));
}

void WaveSegmentViewTest::clicksMoveTheEdgesOnBlocks() {
    QFETCH(int, x);
    QFETCH(bool, upper);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QtPlatformScope scope;
    KVWaveSegmentView view;
    view.resize(1000, 200);
    view.setNumFrames(60 * kSecond);
    view.setSelectionEndFrame(30 * kSecond);
    view.setSelectionStartFrame(10 * kSecond);
    int moved = 0;
    view.onCursorMoved = [&] { ++moved; };
    view.show();
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(x, upper ? 40 : 160));
    QCOMPARE(view.selectionStartFrame(), start);
    QCOMPARE(view.selectionEndFrame(), end);
    QVERIFY(view.selectionStartFrame() % 128 == 0 && view.selectionEndFrame() % 128 == 0);
    QVERIFY(view.selectionEndFrame() - view.selectionStartFrame() >= 88'200);
    QCOMPARE(moved, 2);  // press and release
}

void WaveSegmentViewTest::clicksNearTheAnalysedRangeSnapOntoIt() {
    QtPlatformScope scope;
    KVWaveSegmentView view;
    view.resize(1000, 200);
    view.setNumFrames(60 * kSecond);
    view.setAnalysisStartFrame(128 * 3000);  // x = 145.1
    view.setAnalysisEndFrame(128 * 12000);   // x = 580.5
    view.show();
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(152, 30));
    QCOMPARE(view.selectionStartFrame(), FramePos(128 * 3000));
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(572, 170));
    QCOMPARE(view.selectionEndFrame(), FramePos(128 * 12000));
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(170, 30));  // 25 px away: no snapping
    QCOMPARE(view.selectionStartFrame(), blockBelow(170 * 60.0 * kSecond / 1000));
    view.selectAnalysisRange();
    QCOMPARE(view.selectionStartFrame(), FramePos(128 * 3000));
}

void WaveSegmentViewTest::spaceAsksToPlayAndNextSegmentKeepsTheLength() {
    QtPlatformScope scope;
    KVWaveSegmentView view;
    view.setNumFrames(10 * kSecond);
    int toggles = 0;
    view.onTogglePlayStop = [&] { ++toggles; };
    view.show();
    QTest::keyClick(&view, Qt::Key_Space);
    QCOMPARE(toggles, 1);
    view.selectAnalysisRange();  // none: beeps
    QCOMPARE(scope.platform().beepCount(), 1);
    view.setSelectionEndFrame(8 * kSecond);
    view.setSelectionStartFrame(5 * kSecond);
    const FrameCount length = view.selectionEndFrame() - view.selectionStartFrame();
    view.selectNextSegment();
    QCOMPARE(view.selectionEndFrame() - view.selectionStartFrame(), length);
    QVERIFY(view.selectionEndFrame() <= 10 * kSecond);
}

// Left sine at 0.8 above, right sine at 0.4 below; ten ticks with labels; the start line where
// the click put it and the end line 2 s later.
void WaveSegmentViewTest::pictureOfAGeneratedStereoFile() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, 5.0);
    KVWaveSegmentView view;
    view.resize(1000, 300);
    auto history = KVEditHistory::initWithContentsOfFile(sound.toStdString(), kWorkingSampleRate, false);
    QVERIFY(history);
    auto controller = KVSegmentController::initWithEditHistory(history, &view, true);
    view.show();
    controller->waitForOverview();
    QTest::qWait(50);  // the overview's last repaint is posted to this thread
    const double fpp = 5.0 * kSecond / 1000;
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(220, 20));
    const FramePos start = blockBelow(220 * fpp);
    QCOMPARE(view.selectionStartFrame(), start);
    const QImage picture = view.grab().toImage();
    saveArtifact(picture, "input-overview-5s-stereo.png");
    const BottomUpMapping y(300);
    auto column = [&](int x, double fromBottom) { return picture.pixelColor(x, int(y.toWidgetY(fromBottom))); };
    // Columns are shorter than a period here, so the envelopes follow the sine: look along whole
    // rows for the peaks (outside the selection's shading, which lightens what lies under it).
    const auto waveformInRow = [&](double fromBottom) {
        int n = 0;
        for (int x = 640; x < 1000; ++x) n += isWaveform(column(x, fromBottom));
        return n;
    };
    QVERIFY(waveformInRow(225 + 0.75 * 75) > 20);  // left, inside 0.8
    QCOMPARE(waveformInRow(225 + 0.9 * 75), 0);    // left, beyond 0.8
    QVERIFY(waveformInRow(75 + 0.35 * 75) > 20);   // right, inside 0.4
    QCOMPARE(waveformInRow(75 + 0.5 * 75), 0);     // right, beyond 0.4
    for (int i = 1; i < 10; ++i) {
        // The tick stands out from the background beside it (lightened inside the selection).
        const QColor tick = picture.pixelColor(i * 100, 3), beside = picture.pixelColor(i * 100 + 2, 3);
        QVERIFY2(tick.blue() - beside.blue() >= 10, qPrintable(QString("tick %1").arg(i)));
        int labelPixels = 0;
        for (int x = i * 100 + 5; x < i * 100 + 90; ++x)
            for (int row = 6; row < 20; ++row) labelPixels += isLabel(picture.pixelColor(x, row));
        QVERIFY2(labelPixels > 30, qPrintable(QString("label %1").arg(i)));
    }
    // The click pushed the 2 s end along: 2 s after the start, one block up.
    QCOMPARE(view.selectionEndFrame(), start + 88'320);
    const int endX = int((start + 88'320) / fpp), startX = int(start / fpp);
    QVERIFY(isYellowish(column(endX, 100)) && !isYellowish(column(endX, 200)));
    QVERIFY(isYellowish(column(startX, 200)) && !isYellowish(column(startX, 100)));
}

// Label pixels in a box given by x and y counted from the bottom, of a 1000 x 300 picture.
// Only the cores of the glyphs count, whose colour does not depend on the background.
int labelPixelsIn(const QImage& picture, int x0, int x1, int fromBottom0, int fromBottom1) {
    int n = 0;
    for (int x = x0; x < x1; ++x) {
        for (int y = 300 - fromBottom1; y < 300 - fromBottom0; ++y) {
            const QColor c = picture.pixelColor(x, y);
            n += c.blue() > 235 && c.red() > 170;
        }
    }
    return n;
}

// A segment ending at the file's end keeps its end time inside the view, left of the end line;
// an analysed range starting at 0 leaves the title's pixels as they are without it.
void WaveSegmentViewTest::captionsStayInsideAndClearOfTheTitle() {
    const auto picture = [](FramePos analysisEnd) {
        KVWaveSegmentView view;
        view.resize(1000, 300);
        view.setNumFrames(10 * kSecond);
        view.setSelectionStartFrame(7 * kSecond);
        view.setSelectionEndFrame(10 * kSecond);
        view.setAnalysisStartFrame(0);
        view.setAnalysisEndFrame(analysisEnd);
        view.rebuildPicture();
        return view.cachedPicture();
    };
    const QImage withRange = picture(5 * kSecond), without = picture(0);
    saveArtifact(withRange, "input-overview-captions.png");
    QVERIFY(labelPixelsIn(withRange, 880, 995, 20, 40) > 30);  // "00:00:10:000" before the end
    QCOMPARE(labelPixelsIn(withRange, 998, 999, 15, 45), 0);
    const int title = labelPixelsIn(without, 0, 400, 5, 36);
    QVERIFY(title > 100);
    // Glyph edges blend with the lighter shading: allow a few percent, far less than the
    // caption's own pixels.
    QVERIFY(std::abs(labelPixelsIn(withRange, 0, 400, 5, 36) - title) < title / 20);
    QVERIFY(labelPixelsIn(withRange, 0, 400, 36, 60) > 30);  // the caption, above the title
}

QTEST_MAIN(WaveSegmentViewTest)
#include "WaveSegmentViewTest.moc"

// The input overview on the offscreen platform: frames per pixel, real mouse clicks moving the
// segment edges, snapping onto the analysed range (a beep without one), the captions of the
// picture and the drop shadow's placement. The picture of a generated file in a document window is checked in the
// app tests.
#include <QPainter>
#include <QtTest>

#include "qtsupport/QtTestSupport.h"
#include "views/DropShadow.h"
#include "views/KVWaveSegmentView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr FrameCount kSecond = 44100;

FramePos blockBelow(double frame) { return static_cast<FramePos>(frame) / 128 * 128; }
}  // namespace

class WaveSegmentViewTest : public QObject {
    Q_OBJECT
private slots:
    void dropShadowFallsBelowRightOfTheShape();
    void widthZeroKeepsFramesPerPixelFinite();
    void clicksMoveTheEdgesOnBlocks_data();
    void clicksMoveTheEdgesOnBlocks();
    void clicksNearTheAnalysedRangeSnapOntoIt();
    void captionsStayInsideAndClearOfTheTitle();
};

// A red 10 x 10 square at (20, 20) on white, its black shadow offset (2, -2): a hard shadow
// covers exactly (22..31, 22..31); a blurred one darkens the right and lower sides, fading out
// within three box radii, and leaves the upper and left sides white.
void WaveSegmentViewTest::dropShadowFallsBelowRightOfTheShape() {
    struct Case {
        double blur;
        int x, y;
        bool dark;
    };
    const Case cases[] = {{0, 31, 22, true},  {0, 22, 31, true},  {0, 32, 22, false}, {0, 31, 21, false},
                          {4, 32, 26, true},  {4, 26, 32, true},  {4, 31, 31, true},  {4, 15, 26, false},
                          {4, 26, 15, false}, {4, 40, 26, false}, {4, 26, 40, false}};
    for (const Case& c : cases) {
        QImage image(60, 60, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        DropShadow({2, -2}, c.blur, Qt::black).paint(painter, QRectF(20, 20, 10, 10), [](QPainter& p) { p.fillRect(20, 20, 10, 10, Qt::red); });
        painter.end();
        QCOMPARE(image.pixelColor(25, 25), QColor(Qt::red));
        const int level = image.pixelColor(c.x, c.y).green();
        QVERIFY2(c.dark ? level < 200 : level == 255, qPrintable(QString("blur %1 at (%2, %3): %4").arg(c.blur).arg(c.x).arg(c.y).arg(level)));
    }
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
    QCOMPARE(moved, 2);  // press and release
}

void WaveSegmentViewTest::clicksNearTheAnalysedRangeSnapOntoIt() {
    QtPlatformScope scope;
    KVWaveSegmentView view;
    view.resize(1000, 200);
    view.setNumFrames(60 * kSecond);
    view.selectAnalysisRange();  // none yet: a beep
    QCOMPARE(scope.platform().beepCount(), 1);
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
// an analysed range starting at 0 leaves the title's pixels as they are without it, its caption
// and a segment's end time over the title go above it.
void WaveSegmentViewTest::captionsStayInsideAndClearOfTheTitle() {
    const auto picture = [](FramePos analysisEnd, FramePos selectionEnd = 10 * kSecond) {
        KVWaveSegmentView view;
        view.resize(1000, 300);
        view.setNumFrames(10 * kSecond);
        view.setSelectionStartFrame(selectionEnd - 3 * kSecond);
        view.setSelectionEndFrame(selectionEnd);
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
    // A segment ending over the title (at x = 300) has its end time above the title too.
    const QImage overTitle = picture(0, 3 * kSecond);
    saveArtifact(overTitle, "input-overview-end-over-title.png");
    QVERIFY(labelPixelsIn(overTitle, 200, 295, 38, 55) > 30);
}

QTEST_MAIN(WaveSegmentViewTest)
#include "WaveSegmentViewTest.moc"

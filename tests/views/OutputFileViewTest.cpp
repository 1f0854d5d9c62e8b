// The master output overview on the offscreen platform: the overview the real output controller
// builds after its prefill against min/max columns computed from the file read by libsndfile,
// and the picture's title, shaded range and cursors. The double click, Space and playing from
// the double-clicked frame are tried in the document window by the app tests.
#include <QtTest>

#include "control/KVOutputController.h"
#include "qtsupport/QtTestSupport.h"
#include "support/Signals.h"
#include "views/KVOutputFileView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr FrameCount kSecond = 44100;
// One step of a 16-bit file.
constexpr float kLevelStep = 1.0f / 32768.0f;

// The real output controller of a generated file of seconds, drawing into view (1000 x 300);
// returned once the prefill has ended and the overview it queued has been built (null if not).
std::unique_ptr<KVOutputController> masterOf(QtPlatformScope& scope, KVOutputFileView& view, double seconds,
                                             int channels = 2) {
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, seconds, channels);
    view.resize(1000, 300);
    view.show();
    auto controller = KVOutputController::initWithView(&view, sound.toStdString(), true);
    if (!controller) return nullptr;
    controller->waitForPrefill();
    QTest::qWait(20);  // runs the rebuild the prefill posted
    const bool built = QTest::qWaitFor([&] { return !controller->isOverviewRunning(); }, 20000);
    QTest::qWait(20);
    return built ? std::move(controller) : nullptr;
}

bool isWhite(QColor c) { return c.red() > 240 && c.green() > 240 && c.blue() > 240; }
}  // namespace

class OutputFileViewTest : public QObject {
    Q_OBJECT
private slots:
    void masterOverviewMatchesTheFilePictureShowsTitleRangeAndCursors_data();
    void masterOverviewMatchesTheFilePictureShowsTitleRangeAndCursors();
};

void OutputFileViewTest::masterOverviewMatchesTheFilePictureShowsTitleRangeAndCursors_data() {
    QTest::addColumn<int>("channels");
    QTest::newRow("mono") << 1;
    QTest::newRow("stereo") << 2;
}

// The overview of an unedited file, then its picture with an analysed range and both cursors.
void OutputFileViewTest::masterOverviewMatchesTheFilePictureShowsTitleRangeAndCursors() {
    QFETCH(int, channels);
    QtPlatformScope scope;
    KVOutputFileView view;
    const auto controller = masterOf(scope, view, 3.0, channels);
    QVERIFY(controller);
    const Channels file = readSound(scope.file("take.wav").toStdString());
    const auto columns = view.columns();
    QCOMPARE(columns.size(), std::size_t(4096));
    QCOMPARE(view.numFrames(), 3 * kSecond / 128 * 128);
    const auto step = std::size_t(view.numFrames() / 4096);
    // The extremes (with 0) of each column's frames; a mono file has silence on the right.
    const auto extremes = [&](std::size_t channel, std::size_t i) {
        if (channel >= file.size()) return std::pair(0.0f, 0.0f);
        const auto [low, high] = std::minmax_element(file[channel].begin() + i * step, file[channel].begin() + (i + 1) * step);
        return std::pair(std::min(*low, 0.0f), std::max(*high, 0.0f));
    };
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto [minL, maxL] = extremes(0, i);
        const auto [minR, maxR] = extremes(1, i);
        const KVOverviewColumn& got = columns[i];
        const float diff = std::max({std::abs(got.minL - minL), std::abs(got.maxL - maxL), std::abs(got.minR - minR),
                                     std::abs(got.maxR - maxR)});
        QVERIFY2(diff <= kLevelStep, qPrintable(QString("column %1 differs by %2").arg(i).arg(diff)));
    }

    controller->setAnalysisStart(kSecond, 2 * kSecond);
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(800, 150));
    view.setPlayCursor(static_cast<FramePos>(900 * view.framesPerPixel()) + 1);
    const QImage picture = view.grab().toImage();
    saveArtifact(picture, QString("master-overview-3s-%1ch.png").arg(channels));
    // The play cursor is a white line over the whole height; the edit cursor, in the pixel of its
    // frame, is yellowish.
    for (int y : {5, 100, 150, 295}) QVERIFY(isWhite(picture.pixelColor(900, y)));
    const QColor edit = picture.pixelColor(int(view.editCursor() / view.framesPerPixel()), 160);
    QVERIFY(edit.red() > 200 && edit.green() > 150 && edit.blue() < 120);
    // The analysed range (x 333 .. 667) is greener than the canvas beside it.
    const QColor inside = picture.pixelColor(400, 280), outside = picture.pixelColor(700, 280);
    QVERIFY(inside.green() > outside.green() + 10);
    // The title in the lower left corner.
    int titlePixels = 0;
    for (int x = 10; x < 300; ++x)
        for (int y = 265; y < 290; ++y) titlePixels += picture.pixelColor(x, y).blue() > 150;
    QVERIFY(titlePixels > 200);
}

QTEST_MAIN(OutputFileViewTest)
#include "OutputFileViewTest.moc"

#include <QApplication>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "dsp/DisplayColumn.h"
#include "dsp/FrameRecord.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVPreviewExchange.h"
#include "history/KVEditHistory.h"
#include "platform/HeadlessPlatform.h"
#include "playback/ManualAudioBackend.h"
#include "store/KVAnalysisFileSet.h"
#include "support/Signals.h"
#include "qtsupport/QtTestSupport.h"
#include "views/AnalysisScrollArea.h"
#include "views/KVAnalysisView.h"

using namespace std::chrono_literals;

namespace orvex {

// The analysis view in a window over a real analysis of 1.5 s of 440 + 880 Hz in both channels,
// driven by mouse and key events; the store is checked through the store's own readers.
class AnalysisViewTest : public QObject {
    Q_OBJECT

private:
    static constexpr int kFrames = 66150;

    // Widget point of column x and view row y (pixel row kHeight - 1 - y).
    static QPoint at(int x, int row) { return {x, KVAnalysisView::kHeight - 1 - row}; }

    void pump(const std::function<bool()>& until, std::chrono::milliseconds timeout = 600s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            mPlatform->pumpMainThread();
            QCoreApplication::processEvents();
            if (until()) return;
            std::this_thread::sleep_for(2ms);
        }
        QFAIL("timed out");
    }

    // Magnitude of the mix record of frame f within 3 % of hz.
    double energyAt(KVAnalysisFileSet& store, FramePos f, double hz) {
        auto record = FrameRecord::create();
        if (store.readFrameRecord(f, *record, -1) != 0 || !record->valid) return 0.0;
        std::vector<float> frequencies(8192), magnitudes(8192);
        decodeDisplayBins(*record, 0, record->binCount(), frequencies.data(), magnitudes.data());
        double sum = 0.0;
        for (int k = 0; k < record->binCount(); ++k)
            if (std::abs(frequencies[k] - hz) < 0.03 * hz) sum += magnitudes[k];
        return sum;
    }

    // Every record of the selection, all channels, as bytes.
    QByteArray selectionBytes() {
        QByteArray bytes;
        auto record = FrameRecord::create();
        KVAnalysisFileSet& store = mController->store();
        for (std::int32_t c = -1; c < 2; ++c)
            for (FramePos f = 0; f < store.frameCount(); ++f)
                if (store.readFrameRecord(f, *record, c) == 0)
                    bytes.append(reinterpret_cast<const char*>(record.get()), sizeof(FrameRecord));
        return bytes;
    }

    void waitForOperation() {
        pump([&] { return !mController->isProcessing(); });
    }

    void drag(AnalysisTool tool, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}, int steps = 10) {
        mView->setTool(tool);
        mController->setTool(tool);
        QTest::mousePress(mView, Qt::LeftButton, modifiers, from);
        for (int i = 1; i <= steps; ++i) {
            const QPoint p = from + (to - from) * i / steps;
            QMouseEvent move(QEvent::MouseMove, p, mView->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, modifiers);
            QApplication::sendEvent(mView, &move);
        }
        QTest::mouseRelease(mView, Qt::LeftButton, modifiers, to);
    }

    QImage picture() {
        QImage image = mArea->viewport()->grab().toImage();
        mOffset = mView->pos();  // where view point (0, 0) lies in the viewport
        return image;
    }
    QRgb pixel(const QImage& image, QPoint viewPoint) { return image.pixel(viewPoint + mOffset); }
    static int brightness(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p); }

    std::unique_ptr<QTemporaryDir> mFolder;
    std::shared_ptr<HeadlessPlatform> mPlatform;
    std::unique_ptr<QWidget> mWindow;
    AnalysisScrollArea* mArea = nullptr;
    KVAnalysisView* mView = nullptr;
    ManualAudioBackend* mOutput = nullptr;
    std::shared_ptr<KVAnalysisController> mController;
    QPoint mOffset;

private slots:
    void init();
    void cleanup();
    void drawsTheTonesTheLevelStripAndTheRuler();
    void boxSelectsItsBandOnlyFromEitherCornerAndEscapeCancels();
    void pencilStrokesSelectPartialsAndSubtractInModifyMode();
    void controlPreviewsTheFrameUnderTheMouseUntilReleasedOrDeactivated();
    void snapshotKeyWritesATiffThatAnIndependentReaderOpens();
};

void AnalysisViewTest::init() {
    mFolder = std::make_unique<QTemporaryDir>();
    mPlatform = std::make_shared<HeadlessPlatform>();
    mPlatform->setEchoAlerts(false);
    Platform::install(mPlatform);
    const std::string path = mFolder->filePath("tones.wav").toStdString();
    std::vector<float> tone = test::sine(440.0, 44100.0, kFrames, 0.3);
    test::mixInto(tone, test::sine(880.0, 44100.0, kFrames, 0.2));
    test::writeWave(path, {tone, tone}, 44100);

    mWindow = std::make_unique<QWidget>();
    mWindow->resize(900, 1000);
    mArea = new AnalysisScrollArea(mWindow.get());
    auto* layout = new QVBoxLayout(mWindow.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mArea);
    mView = mArea->view();
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));

    auto backend = std::make_unique<ManualAudioBackend>(512);
    mOutput = backend.get();
    auto history = KVEditHistory::initWithContentsOfFile(path, 44100.0, false);
    mController = KVAnalysisController::initWithEditHistory(history, mView, true, std::move(backend));
    QVERIFY(mController);
    mView->setDelegate(mController);
    for (int mode : {0}) {
        mView->setDocumentMode(mode);
        mController->setDocumentMode(static_cast<DocumentMode>(mode));
    }
    pump([&] { return mController->hasFinishedProcessing(); });
    QCoreApplication::processEvents();
    mView->setFocus();
}

void AnalysisViewTest::cleanup() {
    if (mController) {
        pump([&] { return !mController->isProcessing() && mController->runner()->hasEnded(); });
        mView->setDelegate({});
        mController->shutdown();
        mController.reset();
    }
    mPlatform->pumpMainThread();
    mWindow.reset();
    Platform::install(nullptr);
}

void AnalysisViewTest::drawsTheTonesTheLevelStripAndTheRuler() {
    QVERIFY(mView->width() >= int(mController->analysisStore().frameCount()));
    QCOMPARE(mView->height(), KVAnalysisView::kHeight);
    const QImage image = picture();
    // 440 Hz in row 414 and 880 Hz in row 486 stand out of the rows between them.
    const int quiet = brightness(pixel(image, at(300, 450)));
    QVERIFY2(brightness(pixel(image, at(300, 414))) > 3 * quiet + 60, "440 Hz row");
    QVERIFY2(brightness(pixel(image, at(300, 486))) > 3 * quiet + 60, "880 Hz row");
    // The strip's white outline at view row 1; the ruler's tick of second 1 (column 344) at the
    // window's top, with its label below it.
    QCOMPARE(pixel(image, at(300, 1)), qRgb(255, 255, 255));
    const int top = -mOffset.y();
    int tick = 0, label = 0;
    for (int y = top + 3; y < top + 13; ++y) tick += brightness(pixel(image, {345, y})) > 300;
    for (int y = top + 14; y < top + 30; ++y)
        for (int x = 334; x < 380; ++x) label += brightness(pixel(image, {x, y})) > 300;
    QVERIFY2(tick >= 8, "ruler tick");
    QVERIFY2(label > 10, "ruler label");
    test::saveArtifact(mWindow->grab().toImage(), "analysis-view.png");
}

void AnalysisViewTest::boxSelectsItsBandOnlyFromEitherCornerAndEscapeCancels() {
    KVAnalysisFileSet& selection = mController->store();
    const QByteArray empty = selectionBytes();
    drag(AnalysisTool::box, at(100, 430), at(200, 400));
    QVERIFY(energyAt(selection, 150, 440.0) > 0.3 * energyAt(mController->analysisStore(), 150, 440.0));
    QCOMPARE(energyAt(selection, 150, 880.0), 0.0);
    QCOMPARE(energyAt(selection, 250, 440.0), 0.0);
    const QByteArray downRight = selectionBytes();

    // Undone: the records as they were; frames the step added hold no analysis.
    mController->undo();
    auto record = FrameRecord::create();
    QVERIFY(selectionBytes().startsWith(empty));
    for (FramePos f = 0; f < selection.frameCount(); ++f)
        QVERIFY(selection.readFrameRecord(f, *record, -1) != 0 || !record->valid);
    drag(AnalysisTool::box, at(200, 400), at(100, 430));
    QCOMPARE(selectionBytes(), downRight);

    const int beeps = mPlatform->beepCount();
    mView->setTool(AnalysisTool::box);
    QTest::mousePress(mView, Qt::LeftButton, {}, at(300, 430));
    QTest::mouseMove(mView, at(350, 410));
    QTest::keyClick(mView, Qt::Key_Escape);
    QTest::mouseMove(mView, at(400, 400));
    QTest::mouseRelease(mView, Qt::LeftButton, {}, at(400, 400));
    QCOMPARE(mPlatform->beepCount(), beeps + 1);
    QCOMPARE(selectionBytes(), downRight);
}

void AnalysisViewTest::pencilStrokesSelectPartialsAndSubtractInModifyMode() {
    KVAnalysisFileSet& selection = mController->store();
    // Along the 440 Hz fundamental: its partial at 880 Hz comes with it.
    drag(AnalysisTool::multiPencil, at(100, 414), at(300, 414), {}, 40);
    waitForOperation();
    QVERIFY(energyAt(selection, 200, 440.0) > 0.0);
    QVERIFY(energyAt(selection, 200, 880.0) > 0.0);
    QCOMPARE(energyAt(selection, 400, 440.0), 0.0);
    // With Shift the stroke keeps its first pitch although the mouse wanders off to 500.
    drag(AnalysisTool::multiPencil, at(350, 414), at(500, 500), Qt::ShiftModifier, 40);
    waitForOperation();
    QVERIFY(energyAt(selection, 480, 440.0) > 0.0);
    // Modify mode: a plain stroke subtracts.
    const double before = energyAt(selection, 200, 440.0);
    mView->setDocumentMode(2);
    mController->setDocumentMode(DocumentMode::Modify);
    mView->setSelectionMode(0);
    mController->setSelectionMode(SelectionMode::Add);
    drag(AnalysisTool::multiPencil, at(100, 414), at(300, 414), {}, 40);
    waitForOperation();
    QVERIFY(energyAt(selection, 200, 440.0) < 0.5 * before);
}

void AnalysisViewTest::controlPreviewsTheFrameUnderTheMouseUntilReleasedOrDeactivated() {
    const auto loudness = [&] {
        std::vector<float> left(512), right(512);
        double sum = 0.0;
        for (int cycle = 0; cycle < 40; ++cycle) {
            if (!mOutput->pullStereo(left.data(), right.data(), 512)) return -1.0;
            for (float v : left) sum += std::abs(v);
            for (int wait = 0; wait < 200 && mController->preview().frameRequested(); ++wait)
                std::this_thread::sleep_for(1ms);
        }
        return sum;
    };
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
    mView->setFocus();
    mView->setTool(AnalysisTool::singlePencil);
    mController->setTool(AnalysisTool::singlePencil);
    QTest::mouseMove(mView, at(300, 414));
    QTest::keyPress(mView, Qt::Key_Control);
    QVERIFY(mView->previewOn());
    QVERIFY2(loudness() > 1.0, "the preview sounds while Control is held");
    QTest::keyRelease(mView, Qt::Key_Control);
    QVERIFY(!mView->previewOn());
    QCOMPARE(loudness(), 0.0);
    // Latched by its button, the preview outlives the key, but not the window losing focus.
    mView->setRealtimePreview(true);
    QTest::keyPress(mView, Qt::Key_Control);
    QTest::keyRelease(mView, Qt::Key_Control);
    QVERIFY(mView->previewOn());
    QVERIFY(loudness() > 1.0);
    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!mView->isActiveWindow());
    QCOMPARE(loudness(), 0.0);
}

void AnalysisViewTest::snapshotKeyWritesATiffThatAnIndependentReaderOpens() {
    const QString path = mFolder->filePath("shot.tiff");
    mView->setSnapshotPathProvider([&] { return path; });
    QTest::keyClick(mView, Qt::Key_S);
    const QString reader = QStringLiteral(ORVEX_SOURCE_DIR_PATH) + "/tests/cli/read_picture.py";
    QProcess python;
    python.start("python3", {reader, path, "300,1085", "300,1049"});
    QVERIFY(python.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QString("%1 1500").arg(mView->visibleViewRect().width() + 1));
    const QStringList tone = lines[1].split(' '), between = lines[2].split(' ');
    QVERIFY(tone[0].toInt() + tone[1].toInt() + tone[2].toInt() > 100);
    QVERIFY(between[0].toInt() + between[1].toInt() + between[2].toInt() < 100);
    // No file chosen: a beep.
    const int beeps = mPlatform->beepCount();
    mView->setSnapshotPathProvider([] { return QString(); });
    QTest::keyClick(mView, Qt::Key_S);
    QCOMPARE(mPlatform->beepCount(), beeps + 1);
}

}  // namespace orvex

QTEST_MAIN(orvex::AnalysisViewTest)
#include "AnalysisViewTest.moc"

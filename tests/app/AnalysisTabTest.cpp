// The analysis editor tab of a document window behind the application's menus, on the offscreen
// platform, over generated tones of 440 + 880 Hz: analysing from the button and the File menu (Alt
// and Meta analyse anew), the picture that follows, the question on entering the tab without an
// analysis, the mouse tools (box from either corner, Escape, multi pencil with Shift and in Modify
// mode), the Control preview, the "s" snapshot, the commands with their confirmations, progress,
// refusal while busy, Cancel and Undo, closing the window while one runs, the Undo item following
// mouse edits, and the edit committed into the master only inside the segment. Stores and the
// master are read back through the core's own readers.
#include <QAbstractButton>
#include <QComboBox>
#include <QSpinBox>
#include <QDoubleSpinBox>
#include <QCursor>
#include <QMenuBar>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QWheelEvent>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <thread>

#include "app/AppController.h"
#include "app/KVEditorWindow.h"
#include "app/KVPrefsPanelController.h"
#include "app/WindowDocumentHost.h"
#include "control/KVOutputController.h"
#include "dsp/DisplayColumn.h"
#include "dsp/FrameRecord.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVPreviewExchange.h"
#include "history/KVEditHistory.h"
#include "picture/DisplayGeometry.h"
#include "playback/ManualAudioBackend.h"
#include "qtsupport/QtTestSupport.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVGrainCollection.h"
#include "support/Signals.h"
#include "views/KVAnalysisView.h"
#include "views/KVProgressSubview.h"
#include "views/KVWaveSegmentView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr FrameCount kSecond = 44100;
constexpr int kLongWait = 600'000;  // a loaded machine analyses slowly

// 440 Hz + 880 Hz in both channels.
// The regions a widget is asked to paint.
class PaintedRegions : public QObject {
public:
    explicit PaintedRegions(QWidget* widget) { widget->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

void writeTones(const QString& path, double seconds) {
    const auto frames = static_cast<std::int64_t>(seconds * kSecond);
    std::vector<float> tone = sine(440.0, kSecond, frames, 0.3);
    mixInto(tone, sine(880.0, kSecond, frames, 0.2));
    writeWave(path.toStdString(), {tone, tone}, kSecond);
}

// Every record of a store, all channels and the mix, as bytes.
QByteArray storeBytes(KVAnalysisFileSet& store) {
    QByteArray bytes;
    auto record = FrameRecord::create();
    for (std::int32_t c = -1; c < store.numberOfChannels(); ++c)
        for (FramePos f = 0; f < store.frameCount(); ++f)
            if (store.readFrameRecord(f, *record, c) == 0)
                bytes.append(reinterpret_cast<const char*>(record.get()), sizeof(FrameRecord));
    return bytes;
}

// The master's left and right grain records, read under its lock.
std::vector<KVEncodedGrain> masterRecords(KVOutputController& master) {
    std::lock_guard<std::recursive_mutex> guard(master.monitor());
    const FrameCount n = master.leftMasterCollection()->frameCount();
    std::vector<KVEncodedGrain> records(static_cast<std::size_t>(2 * n));
    master.leftMasterCollection()->readRecords(records.data(), 0, n);
    master.rightMasterCollection()->readRecords(records.data() + n, 0, n);
    return records;
}

bool sameGrain(const KVEncodedGrain& a, const KVEncodedGrain& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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

int brightness(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p); }
}  // namespace

class AnalysisTabTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void analysingShowsProgressThenTheTonesSnapshotThenCommandsConfirmRefuseCancelAndUndo();
    void plainAnalysisReusesTheStoreAltAndMetaAnalyseAnewWithTheMultiPencil();
    void enteringWithoutAnalysisAsksAndLeavingCommitsInsideTheSegment();
    void mouseToolsPreviewSelectAndSubtract();
    void escapeCancelsARunningAnalysis();
    void theViewOpensOnTheSoundAndFollowsTheMouseWhileScrolling();

private:
    // Opens seconds of the tones in a window of the host (set up for Extract), shown large enough
    // for the rows of both tones.
    void open(double seconds);
    void waitForAnalysis();
    void waitUntilIdle();
    QAbstractButton* button(const char* outlet) { return mWindow->button(outlet); }
    QAction* menuItem(const QString& title);
    bool undoEnabled() { return menuItem("&Undo")->isEnabled(); }
    KVAnalysisController& controller() { return *mDocument->analysisController(); }
    // Widget point of frame column x and pitch row y of the analysis view.
    QPoint at(int x, int row) { return mWindow->analysisView()->widgetPixelOf(x, row); }
    // The pixel of view point p in the visible part of the picture.
    QRgb pixel(const QImage& viewport, QPoint p) { return viewport.pixel(p + mWindow->analysisView()->pos()); }
    // A drag with the current tool, the modifiers held on every event.
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}, int steps = 10);

    std::unique_ptr<QtPlatformScope> mScope;
    std::unique_ptr<WindowDocumentHost> mHost;
    std::unique_ptr<AppController> mController;
    KVEditorWindow* mWindow = nullptr;
    KVWaveDocument* mDocument = nullptr;
    ManualAudioBackend* mOutput = nullptr;  // the newest output made for the document
};

void AnalysisTabTest::init() {
    mScope = std::make_unique<QtPlatformScope>();
    KVDocumentOptions options;
    options.makeOutput = [this] {
        auto output = std::make_unique<ManualAudioBackend>();
        mOutput = output.get();
        return output;
    };
    mHost = std::make_unique<WindowDocumentHost>(options);
    mController = std::make_unique<AppController>(*mHost, StartupTimings{50, 1000});
    mHost->setController(mController.get());
}

void AnalysisTabTest::cleanup() {
    if (mDocument) waitUntilIdle();
    mController.reset();
    mHost.reset();
    mScope.reset();
    mWindow = nullptr;
    mDocument = nullptr;
}

void AnalysisTabTest::open(double seconds) {
    const QString path = mScope->file("tones.wav");
    writeTones(path, seconds);
    answerNextAlert("Extract");
    QVERIFY(mController->openFile(path));
    mWindow = mHost->documents().windowForPath(path);
    QVERIFY(mWindow);
    mDocument = mHost->documents().documentOfWindow(mWindow);
    mWindow->resize(1200, 1000);
    QVERIFY(QTest::qWaitForWindowExposed(mWindow));
}

void AnalysisTabTest::waitForAnalysis() {
    QTRY_VERIFY_WITH_TIMEOUT(mDocument->analysisController() && controller().hasFinishedProcessing(), kLongWait);
    QTRY_VERIFY_WITH_TIMEOUT(!mDocument->isBusy(), kLongWait);
}

void AnalysisTabTest::waitUntilIdle() {
    QTRY_VERIFY_WITH_TIMEOUT(!mDocument->isBusy() && !mDocument->isAnalysisRunning(), kLongWait);
    QTest::qWait(20);  // the finishing steps posted last
}

QAction* AnalysisTabTest::menuItem(const QString& title) {
    // Undo and Redo carry the name of their step after the title.
    for (QAction* action : mWindow->menuBar()->findChildren<QAction*>())
        if (action->text() == title || action->text().startsWith(title + " ")) return action;
    qFatal("no menu item %s", qPrintable(title));
}

void AnalysisTabTest::drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers, int steps) {
    KVAnalysisView* view = mWindow->analysisView();
    QTest::mousePress(view, Qt::LeftButton, modifiers, from);
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        QMouseEvent move(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, modifiers);
        QApplication::sendEvent(view, &move);
    }
    QTest::mouseRelease(view, Qt::LeftButton, modifiers, to);
}

// The button analyses the input view's segment: the tab changes at once, the status line counts
// the progress, then the picture shows 440 Hz in row 414 and 880 Hz in row 486 over the level
// strip, under the ruler of seconds; "s" saves it.
// On that analysis, Select all asks first (Cancel leaves the store alone); each processing
// command shows its text in the progress box, a second command while it runs only beeps, Cancel
// stops an operation short, and Undo brings the store back byte for byte. The Undo item follows.
// The worker of an operation outlives the window and its view: its end must not reach either.
void AnalysisTabTest::analysingShowsProgressThenTheTonesSnapshotThenCommandsConfirmRefuseCancelAndUndo() {
    open(3.0);
    KVAnalysisView* view = mWindow->analysisView();
    QSignalSpy status(view, &KVAnalysisView::statusMessageChanged);
    QTest::mouseClick(button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QCOMPARE(mWindow->tabs()->currentIndex(), int(KVEditorWindow::kAnalysisTab));
    waitForAnalysis();
    QVERIFY(!status.isEmpty());
    QVERIFY2(status.first().first().toString().startsWith("Processing... "), qPrintable(status.first().first().toString()));
    QTRY_COMPARE(view->statusMessage(), QString());
    QTest::qWait(50);
    const QImage viewport = view->parentWidget()->grab().toImage();
    saveArtifact(mWindow->grab().toImage(), "analysis-tab.png");
    const int quiet = brightness(pixel(viewport, at(300, 450)));
    QVERIFY2(brightness(pixel(viewport, at(300, 414))) > 3 * quiet + 60, "440 Hz row");
    QVERIFY2(brightness(pixel(viewport, at(300, 486))) > 3 * quiet + 60, "880 Hz row");
    QCOMPARE(pixel(viewport, at(300, 1)), qRgb(255, 255, 255));  // the strip's outline
    int tick = 0, label = 0;  // second 1 at column 344: its tick at the top, its label below
    const int x = 345 + view->pos().x();
    for (int y = 3; y < 13; ++y) tick += brightness(viewport.pixel(x, y)) > 300;
    for (int y = 14; y < 30; ++y)
        for (int dx = -11; dx < 35; ++dx) label += brightness(viewport.pixel(x + dx, y)) > 300;
    QVERIFY2(tick >= 8, "ruler tick");
    QVERIFY2(label > 10, "ruler label");

    // The pitch axis: a faint line through C5's row (432), a semitone lower (row 426) once A4 is
    // tuned to 415.3 Hz in Preferences.
    const auto lined = [&](const QImage& image, int row) { return brightness(pixel(image, at(300, row))) > quiet + 40; };
    QVERIFY(lined(viewport, 432) && !lined(viewport, 426));
    KVPrefsPanelController& prefs = *mController->prefsPanel();
    prefs.uiShowPanel();
    prefs.uiA4TuningField->setValue(415.3);
    // The median separator, chosen in the same panel, serves the open document at once and the
    // Process menu says so.
    QVERIFY(!prefs.uiMedianTimeField->isEnabled());
    QTest::keyClick(prefs.uiSeparationMethodMenu, Qt::Key_Down);
    QVERIFY(prefs.uiMedianTimeField->isEnabled());
    prefs.uiSaveAndClosePrefs();
    QTest::qWait(50);
    const QImage retuned = view->parentWidget()->grab().toImage();
    QVERIFY(lined(retuned, 426) && !lined(retuned, 432));
    QCOMPARE(mDocument->separation().method, SeparationMethod::Median);
    QAction* keep = mWindow->menuBar()->findChild<QAction*>("uiKeepTransientsMenuItem");
    QVERIFY(keep);
    mController->validateMenus();
    QCOMPARE(keep->text(), QString("&Keep Transients (Median Filter)"));

    // Scrolling repaints all of the view that shows: the ruler, the status line and the overlays
    // sit at fixed places in the window, so repainting only the strip that came into sight would
    // leave shifted copies of them.
    auto* area = qobject_cast<QScrollArea*>(view->parentWidget()->parentWidget());
    QVERIFY(area && area->verticalScrollBar()->maximum() > 40);
    {
        PaintedRegions regions(view);
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() - 40);
        QTRY_VERIFY(!regions.painted.isEmpty());
        QCOMPARE(regions.painted.intersected(view->visibleRegion()), view->visibleRegion());
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() + 40);
    }

    // "s" writes the visible picture as a TIFF: the tone's row is bright and the row between the
    // tones dark in the independent reader; without a file chosen it beeps.
    const QString path = mScope->file("shot.tiff");
    view->setSnapshotPathProvider([&] { return path; });
    QTest::keyClick(view, Qt::Key_S);
    const QString reader = QStringLiteral(ORVEX_SOURCE_DIR_PATH) + "/tests/cli/read_picture.py";
    QProcess python;
    python.start("python3", {reader, path, "300,1085", "300,1049"});
    QVERIFY(python.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QString("%1 1500").arg(view->visibleViewRect().width() + 1));
    const QStringList tone = lines[1].split(' '), between = lines[2].split(' ');
    QVERIFY(tone[0].toInt() + tone[1].toInt() + tone[2].toInt() > 100);
    QVERIFY(between[0].toInt() + between[1].toInt() + between[2].toInt() < 100);
    int beeps = mScope->platform().beepCount();
    view->setSnapshotPathProvider([] { return QString(); });
    QTest::keyClick(view, Qt::Key_S);
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);

    KVAnalysisFileSet& selection = controller().store();
    const QByteArray empty = storeBytes(selection);

    QString title;
    answerNextAlert("Cancel", &title);
    button("uiSelectAllButton")->click();
    QCOMPARE(title, QString("Select entire segment?"));
    QCOMPARE(storeBytes(selection), empty);
    answerNextAlert("Select all");
    button("uiSelectAllButton")->click();
    QVERIFY(mWindow->progressBox()->label().startsWith("Selecting..."));
    beeps = mScope->platform().beepCount();
    button("uiIsolateDeterministicButton")->click();  // still selecting: refused
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);
    waitUntilIdle();
    // What the window was told when the progress ended already counts the committed step.
    QVERIFY(mDocument->commandState().canUndo && !mDocument->commandState().busy);
    QVERIFY(undoEnabled());
    const QByteArray all = storeBytes(selection);
    QVERIFY(all != empty);

    button("uiIsolateDeterministicButton")->click();
    QVERIFY(mWindow->progressBox()->label().startsWith("Isolating sustained..."));
    waitUntilIdle();
    const QByteArray sustained = storeBytes(selection);
    QVERIFY(sustained != all);
    button("uiUndoButton")->click();
    QCOMPARE(storeBytes(selection), all);
    // Many levels: Select All is next to undo, and Keep Sustained can be redone.
    QTRY_COMPARE(menuItem("&Undo")->text(), QString("&Undo Select All"));
    QCOMPARE(menuItem("&Redo")->text(), QString("&Redo Keep Sustained"));
    QVERIFY(menuItem("&Redo")->isEnabled());
    menuItem("&Redo")->trigger();
    QCOMPARE(storeBytes(selection), sustained);
    QCOMPARE(menuItem("&Undo")->text(), QString("&Undo Keep Sustained"));
    menuItem("&Undo")->trigger();
    QCOMPARE(storeBytes(selection), all);
    // The Window menu's History list jumps to any step, either way.
    auto* history = mWindow->menuBar()->findChild<QMenu*>("uiHistoryMenu");
    QVERIFY(history);
    const auto historyItem = [history](int position) {
        emit history->aboutToShow();
        return history->actions().value(position);
    };
    QCOMPARE(historyItem(0)->text(), QString("Before Any Edit"));
    QCOMPARE(history->actions().size(), 3);
    QCOMPARE(history->actions()[2]->text(), QString("2. Keep Sustained"));
    QVERIFY(history->actions()[1]->isChecked());
    historyItem(2)->trigger();
    QCOMPARE(storeBytes(selection), sustained);
    historyItem(0)->trigger();  // select all gives back the files it started from
    QCOMPARE(storeBytes(selection), empty);
    QVERIFY(historyItem(0)->isChecked());
    historyItem(1)->trigger();
    QCOMPARE(storeBytes(selection), all);

    button("uiIsolateDeterministicButton")->click();
    mWindow->cancelButton()->click();
    waitUntilIdle();
    QVERIFY(storeBytes(selection) != sustained);
    QVERIFY(mWindow->progressBox()->isHidden());
    // A cancel that came before the first write leaves no step to undo.
    if (storeBytes(selection) != all) menuItem("&Undo Keep Sustained")->trigger();
    QCOMPARE(storeBytes(selection), all);
    QTRY_COMPARE(menuItem("&Undo")->text(), QString("&Undo Select All"));

    const struct {
        const char* outlet;
        const char* answer;
        const char* title;
    } asked[] = {{"uiSelectNoneButton", "Cancel", "De-select everything?"},
                 {"uiApplySelectionButton", "Cancel", "Apply Selection"}};
    for (const auto& a : asked) {
        answerNextAlert(a.answer, &title);
        button(a.outlet)->click();
        QCOMPARE(title, QString(a.title));
        QCOMPARE(storeBytes(selection), all);
    }

    // Apply Selection is a step as well: its undo gives back the analysis with the selection,
    // and the picture of both (the part of the view not under the ruler, which alone is painted).
    const auto picture = [this] {
        KVAnalysisView* view = mWindow->analysisView();
        return view->grab().toImage().copy(view->visibleRegion().boundingRect());
    };
    KVAnalysisFileSet& analysis = controller().analysisStore();
    const QByteArray analysed = storeBytes(analysis);
    button("uiIsolateDeterministicButton")->click();
    waitUntilIdle();
    const QByteArray kept = storeBytes(selection);
    const QImage keptPicture = picture();
    answerNextAlert("Proceed");
    button("uiApplySelectionButton")->click();
    waitUntilIdle();
    QCOMPARE(storeBytes(analysis), kept);
    QCOMPARE(selection.frameCount(), 0);
    QTRY_VERIFY(picture() != keptPicture);
    QTRY_COMPARE(menuItem("&Undo")->text(), QString("&Undo Apply Selection"));
    menuItem("&Undo Apply Selection")->trigger();
    QCOMPARE(storeBytes(analysis), analysed);
    QCOMPARE(storeBytes(selection), kept);
    QTRY_COMPARE(picture(), keptPicture);
    menuItem("&Undo Keep Sustained")->trigger();
    QCOMPARE(storeBytes(selection), all);

    // With room for one level of undo, the next edit drops the oldest and the window says so
    // until the next step.
    selection.setHistoryLimits(1, 1.0);
    button("uiIsolateDeterministicButton")->click();
    waitUntilIdle();
    QVERIFY(!mWindow->historyNoteLabel()->isHidden());
    QCOMPARE(mWindow->historyNoteLabel()->text(), QString("Undo history full: the oldest step went"));
    button("uiUndoButton")->click();
    QCOMPARE(storeBytes(selection), all);
    QVERIFY(mWindow->historyNoteLabel()->isHidden());

    const std::weak_ptr<KVAnalysisController> running = controller().shared_from_this();
    button("uiIsolateDeterministicButton")->click();
    QVERIFY(mDocument->isBusy());
    mWindow->close();
    mDocument = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(running.expired(), kLongWait);
    QTRY_VERIFY(mHost->documentWindows().isEmpty());
}

// Without a modifier the stored analysis is loaded (no progress to show); Alt or Meta on the
// button, like the File menu's item with them held, analyses again from scratch. Whatever tool was
// chosen, a new analysis starts with the multi pencil. In Modify mode the selection follows the
// analysis as it arrives: meanwhile a command beeps and changes nothing, and De-select answers
// with the busy alert.
void AnalysisTabTest::plainAnalysisReusesTheStoreAltAndMetaAnalyseAnewWithTheMultiPencil() {
    open(2.5);
    menuItem("&Analyze Segment")->trigger();
    waitForAnalysis();
    const FrameCount frames = controller().analysisStore().frameCount();
    QVERIFY(frames > 2 * kSecond / 128);
    const struct {
        Qt::KeyboardModifiers modifiers;
        bool analysesAnew;
    } cases[] = {{{}, false}, {Qt::AltModifier, true}, {{}, false}, {Qt::MetaModifier, true}};
    for (const auto& c : cases) {
        QSignalSpy status(mWindow->analysisView(), &KVAnalysisView::statusMessageChanged);
        KVAnalysisController* before = mDocument->analysisController();
        QTest::mouseClick(button("uiAnalyzeSegmentButton"), Qt::LeftButton, c.modifiers);
        QVERIFY(mDocument->analysisController() != before);
        waitForAnalysis();
        bool processed = false;
        for (const QList<QVariant>& message : status) processed |= message.first().toString().startsWith("Processing");
        QCOMPARE(processed, c.analysesAnew);
        QCOMPARE(controller().analysisStore().frameCount(), frames);
    }
    QCOMPARE(mScope->platform().beepCount(), 0);
    button("uiModifyButton")->click();
    waitUntilIdle();  // Modify first selects everything
    button("uiBoxButton")->click();
    QCOMPARE(mWindow->analysisView()->tool(), AnalysisTool::box);
    QTest::mouseClick(button("uiAnalyzeSegmentButton"), Qt::LeftButton, Qt::AltModifier);
    QCOMPARE(mWindow->analysisView()->tool(), AnalysisTool::multiPencil);
    QVERIFY(button("uiMultiPencilButton")->isChecked());
    QVERIFY(mDocument->isBusy());
    button("uiIsolateDeterministicButton")->click();
    QCOMPARE(mScope->platform().beepCount(), 1);
    QVERIFY(mWindow->progressBox()->isHidden());
    QString title;
    answerNextAlert("De-Select all");
    answerNextAlert("Okay", &title);
    button("uiSelectNoneButton")->click();
    QCOMPARE(title, QString("Processing is in progress"));
    QCOMPARE(mScope->platform().beepCount(), 1);
    waitForAnalysis();
    QVERIFY(!storeBytes(controller().store()).isEmpty());  // everything selected after all
}

// The analysis tab without an analysis asks first: Cancel keeps the input tab, Analyze analyses
// the chosen segment. A box drawn with the mouse turns Undo on; leaving for the master writes the
// selection there, and only inside the segment.
void AnalysisTabTest::enteringWithoutAnalysisAsksAndLeavingCommitsInsideTheSegment() {
    open(6.0);
    KVWaveSegmentView* input = mWindow->segmentView();
    input->setSelectionStartFrame(2 * kSecond);
    input->setSelectionEndFrame(4 * kSecond);
    const FramePos start = input->selectionStartFrame(), end = input->selectionEndFrame();  // on whole records
    KVOutputController* master = mDocument->outputController();
    master->waitForPrefill();
    const std::vector<KVEncodedGrain> before = masterRecords(*master);

    QString title;
    answerNextAlert("Cancel", &title);
    mWindow->tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab);
    QCOMPARE(title, QString("Perform extraction/suppression on currently selected segment?"));
    QCOMPARE(mWindow->tabs()->currentIndex(), int(KVEditorWindow::kInputTab));
    QVERIFY(!mDocument->analysisController());
    answerNextAlert("Analyze");
    mWindow->tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab);
    QCOMPARE(mWindow->tabs()->currentIndex(), int(KVEditorWindow::kAnalysisTab));
    waitForAnalysis();
    QCOMPARE(mDocument->segmentStart(), start);

    QVERIFY(!undoEnabled());
    button("uiBoxButton")->click();
    drag(at(100, 430), at(200, 400));
    QVERIFY(undoEnabled());

    mWindow->tabs()->setCurrentIndex(KVEditorWindow::kOutputTab);
    const std::vector<KVEncodedGrain> after = masterRecords(*master);
    QCOMPARE(after.size(), before.size());
    const std::size_t records = before.size() / 2, first = start / 128, last = end / 128;
    int changedInside = 0;
    for (std::size_t i = 0; i < after.size(); ++i) {
        const std::size_t record = i % records;
        const bool inside = record >= first && record < last;
        if (!inside) QVERIFY2(sameGrain(after[i], before[i]), qPrintable(QString::number(record)));
        changedInside += inside && !sameGrain(after[i], before[i]);
    }
    QVERIFY2(changedInside >= 2 * 100, qPrintable(QString::number(changedInside)));  // the box, both channels
}

// Control over a partial sends its frame to the output until released; latched by the preview
// button it outlives the key, but not the window losing focus; the button lets go of it again.
// The box over frames 100-200 and pitch rows 400-430 holds 440 Hz only; undone, the records are
// as they were and frames the step added hold no analysis; the same box drawn from the opposite
// corner gives the same records byte for byte. Escape while dragging beeps and changes nothing.
// Then, on the selection emptied again: along the 440 Hz fundamental the multi pencil selects its
// partial at 880 Hz too; with Shift the stroke keeps its first pitch although the mouse wanders
// off; in Modify mode a stroke subtracts.
void AnalysisTabTest::mouseToolsPreviewSelectAndSubtract() {
    open(3.0);
    button("uiAnalyzeSegmentButton")->click();
    waitForAnalysis();
    ManualAudioBackend* output = mOutput;  // the analysis's own
    const auto loudness = [&] {
        std::vector<float> left(512), right(512);
        double sum = 0.0;
        for (int cycle = 0; cycle < 40; ++cycle) {
            if (!output->pullStereo(left.data(), right.data(), 512)) return -1.0;
            for (float v : left) sum += std::abs(v);
            for (int wait = 0; wait < 200 && controller().preview().frameRequested(); ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return sum;
    };
    KVAnalysisView* view = mWindow->analysisView();
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow));
    view->setFocus();
    button("uiSinglePencilButton")->click();
    QTest::mouseMove(view, at(300, 414));
    QTest::keyPress(view, Qt::Key_Control);
    QVERIFY(view->previewOn());
    QVERIFY2(loudness() > 1.0, "the preview sounds while Control is held");
    QTest::keyRelease(view, Qt::Key_Control);
    QVERIFY(!view->previewOn());
    QCOMPARE(loudness(), 0.0);
    button("uiRealtimePreRenderButton")->click();
    QTest::keyPress(view, Qt::Key_Control);
    QTest::keyRelease(view, Qt::Key_Control);
    QVERIFY(view->previewOn());
    QVERIFY(loudness() > 1.0);
    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!view->isActiveWindow());
    QCOMPARE(loudness(), 0.0);
    button("uiRealtimePreRenderButton")->click();
    QVERIFY(!view->previewLatched());

    KVAnalysisFileSet& selection = controller().store();
    const QByteArray empty = storeBytes(selection);
    button("uiBoxButton")->click();
    drag(at(100, 430), at(200, 400));
    QVERIFY(energyAt(selection, 150, 440.0) > 0.3 * energyAt(controller().analysisStore(), 150, 440.0));
    QCOMPARE(energyAt(selection, 150, 880.0), 0.0);
    QCOMPARE(energyAt(selection, 250, 440.0), 0.0);
    const QByteArray downRight = storeBytes(selection);

    controller().undo();
    auto record = FrameRecord::create();
    QVERIFY(storeBytes(selection).startsWith(empty));
    for (FramePos f = 0; f < selection.frameCount(); ++f)
        QVERIFY(selection.readFrameRecord(f, *record, -1) != 0 || !record->valid);
    drag(at(200, 400), at(100, 430));
    QCOMPARE(storeBytes(selection), downRight);

    const int beeps = mScope->platform().beepCount();
    QTest::mousePress(view, Qt::LeftButton, {}, at(300, 430));
    QTest::mouseMove(view, at(350, 410));
    QTest::keyClick(view, Qt::Key_Escape);
    QTest::mouseMove(view, at(400, 400));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(400, 400));
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);
    QCOMPARE(storeBytes(selection), downRight);

    controller().undo();
    QVERIFY(storeBytes(selection).startsWith(empty));
    button("uiMultiPencilButton")->click();
    drag(at(100, 414), at(300, 414), {}, 40);
    waitUntilIdle();
    QVERIFY(energyAt(selection, 200, 440.0) > 0.0);
    QVERIFY(energyAt(selection, 200, 880.0) > 0.0);
    QCOMPARE(energyAt(selection, 400, 440.0), 0.0);
    drag(at(350, 414), at(500, 500), Qt::ShiftModifier, 40);
    waitUntilIdle();
    QVERIFY(energyAt(selection, 480, 440.0) > 0.0);
    // Modify mode straight on the view and the controller (the button would first select all).
    const double before = energyAt(selection, 200, 440.0);
    mWindow->analysisView()->setDocumentMode(DocumentMode::Modify);
    controller().setDocumentMode(DocumentMode::Modify);
    mWindow->analysisView()->setSelectionMode(SelectionMode::Add);
    controller().setSelectionMode(SelectionMode::Add);
    drag(at(100, 414), at(300, 414), {}, 40);
    waitUntilIdle();
    QVERIFY(energyAt(selection, 200, 440.0) < 0.5 * before);
}

// Escape while the segment is analysed: the runner stops at its next block (it is held on the
// history's monitor meanwhile, so the cancel always comes before the end), the status line says
// so, and the store holds fewer frames than the segment has.
void AnalysisTabTest::escapeCancelsARunningAnalysis() {
    open(20.0);
    mWindow->segmentView()->setSelectionStartFrame(0);
    mWindow->segmentView()->setSelectionEndFrame(20 * 44100);
    mWindow->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mWindow));
    QTest::mouseClick(button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QVERIFY(mDocument->isAnalysisRunning());
    const std::shared_ptr<KVAnalysisRunner> runner = controller().runner();
    {
        const std::lock_guard<std::recursive_mutex> held(runner->editHistory()->monitor());
        QTest::keyClick(mWindow, Qt::Key_Escape);
        QVERIFY(runner->wasCancelled());
    }
    QTRY_VERIFY_WITH_TIMEOUT(runner->hasEnded(), kLongWait);
    QTRY_COMPARE(mWindow->analysisView()->statusMessage(),
                 QString("Analysis cancelled: Analyze Segment analyses it again"));
    const FrameCount segment = mDocument->segmentEnd() - mDocument->segmentStart();
    QVERIFY(segment >= 10 * 44100);
    QVERIFY(runner->frameCount() < KVAnalysisRunner::expectedFrameCount(segment) / 2);

    // While an analysis runs its button reads Cancel Analysis and stops it; then it reads
    // Analyze Selection again.
    QAbstractButton* analyze = button("uiAnalyzeSegmentButton");
    QTRY_COMPARE(analyze->text(), QString("Analyze Selection"));
    QTest::mouseClick(analyze, Qt::LeftButton);  // the cut-short analysis is analysed again
    QVERIFY(mDocument->isAnalysisRunning());
    const std::shared_ptr<KVAnalysisRunner> second = controller().runner();
    {
        const std::lock_guard<std::recursive_mutex> held(second->editHistory()->monitor());
        QCOMPARE(analyze->text(), QString("Cancel Analysis"));
        QTest::mouseClick(analyze, Qt::LeftButton);
        QVERIFY(second->wasCancelled());
    }
    QTRY_VERIFY_WITH_TIMEOUT(second->hasEnded(), kLongWait);
    QTRY_COMPARE(analyze->text(), QString("Analyze Selection"));
    QCOMPARE(analyze->accessibleName(), QString("Analyze Selection"));
}

// In a low window the view opens on the rows of the tones, not at its lowest rows; Shift and the
// wheel move along time; the frequency under a mouse that stays put follows a scroll at once.
void AnalysisTabTest::theViewOpensOnTheSoundAndFollowsTheMouseWhileScrolling() {
    open(6.0);
    mWindow->resize(mWindow->minimumWidth(), 560);
    mWindow->segmentView()->setSelectionStartFrame(0);
    mWindow->segmentView()->setSelectionEndFrame(6 * 44100);
    QTest::mouseClick(button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    waitForAnalysis();
    KVAnalysisView* view = mWindow->analysisView();
    auto* area = qobject_cast<QScrollArea*>(view->parentWidget()->parentWidget());
    QVERIFY(area->viewport()->height() * 3 / 4 < 414);  // at the bottom the tones would not show
    QTest::qWait(50);
    saveArtifact(mWindow->grab().toImage(), "analysis-tab-low-window.png");
    const QRectF shown = view->visibleViewRect();
    QVERIFY2(shown.top() <= 414 && shown.bottom() >= 486,
             qPrintable(QString("rows %1 to %2").arg(shown.top()).arg(shown.bottom())));

    QScrollBar* across = area->horizontalScrollBar();
    QVERIFY2(across->maximum() > 0 && across->value() == 0,
             qPrintable(QString("%1 of %2, view %3").arg(across->value()).arg(across->maximum()).arg(view->width())));
    const int height = area->verticalScrollBar()->value();
    const QPointF inside(area->viewport()->width() / 2.0, area->viewport()->height() / 2.0);
    QWheelEvent wheel(inside, area->viewport()->mapToGlobal(inside), {}, {0, -120}, Qt::NoButton, Qt::ShiftModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(area->viewport(), &wheel);
    QCOMPARE(across->value(), area->viewport()->width() / 10);
    QCOMPARE(area->verticalScrollBar()->value(), height);

    const QPoint point = view->mapFromGlobal(area->viewport()->mapToGlobal(inside.toPoint()));
    QCursor::setPos(view->mapToGlobal(point));
    QTest::mouseMove(view, point);
    const float pitch = view->pitchUnderMouse();
    area->verticalScrollBar()->setValue(height - 60);  // 60 rows up
    QCOMPARE(view->pitchUnderMouse(), pitch + 60);

    // Ctrl and the wheel zoom in time about the mouse, Ctrl+Shift in pitch: the picture's point
    // under the mouse stays, and each cell becomes a block of pixels.
    const auto underMouse = [&] {
        return view->scale().toView(QPointF(across->value(), area->verticalScrollBar()->value()) + inside);
    };
    const auto wheelAt = [&](Qt::KeyboardModifiers modifiers, int eighths) {
        QWheelEvent zoom(inside, area->viewport()->mapToGlobal(inside), {}, {0, eighths}, Qt::NoButton, modifiers,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(area->viewport(), &zoom);
    };
    const QPointF anchor = underMouse();
    wheelAt(Qt::ControlModifier, 480);  // four notches
    wheelAt(Qt::ControlModifier | Qt::ShiftModifier, 240);
    QCOMPARE(view->scale().timeZoom(), 4.0);
    QCOMPARE(view->scale().pitchZoom(), 2.0);
    QVERIFY2(std::abs(underMouse().x() - anchor.x()) < 0.5 && std::abs(underMouse().y() - anchor.y()) < 1.0,
             qPrintable(QString("%1,%2 moved to %3,%4")
                            .arg(anchor.x()).arg(anchor.y()).arg(underMouse().x()).arg(underMouse().y())));
    QTest::qWait(50);
    saveArtifact(mWindow->grab().toImage(), "analysis-tab-zoomed.png");
    const QImage zoomed = view->parentWidget()->grab().toImage();
    const int tone = std::abs(anchor.y() - 414) < std::abs(anchor.y() - 486) ? 414 : 486;
    const QPoint cell = at(int(anchor.x()), tone);
    for (const QPoint pixelOfCell : {cell, cell + QPoint(3, 1)})
        QVERIFY2(brightness(pixel(zoomed, pixelOfCell)) > 3 * brightness(pixel(zoomed, at(int(anchor.x()), 450))) + 60,
                 "a tone's cell at 4 x 2");

    // Fit puts the whole segment in the window; the picture ends at 22 050 Hz at any zoom.
    menuItem("&Fit Segment")->trigger();
    QCOMPARE(across->maximum(), 0);
    QVERIFY(view->width() <= area->viewport()->width());
    area->verticalScrollBar()->setValue(0);
    const double top = display::frequencyOfHeight(view->scale().toView(QPointF(0, 0)).y());  // within a semitone
    QVERIFY2(top > 22050.0 / std::pow(2.0, 1.0 / 12.0) && top < 22200.0, qPrintable(QString::number(top)));
}

QTEST_MAIN(AnalysisTabTest)
#include "AnalysisTabTest.moc"

// The analysis editor tab of a document window behind the application's menus, on the offscreen
// platform, over generated tones: analysing from the button and the File menu (Alt and Meta
// analyse anew), the picture that follows, the question on entering the tab without an analysis,
// the commands with their confirmations, progress, refusal while busy, Cancel and Undo, the Undo
// item following mouse edits, and the edit committed into the master only inside the segment.
// Stores and the master are read back through the core's own readers.
#include <QAbstractButton>
#include <QMenuBar>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QtTest>

#include <cmath>

#include "app/AppController.h"
#include "app/KVEditorWindow.h"
#include "app/WindowDocumentHost.h"
#include "control/KVOutputController.h"
#include "dsp/FrameRecord.h"
#include "engine/KVAnalysisController.h"
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

KVDocumentOptions silentOutputs() {
    KVDocumentOptions options;
    options.makeOutput = [] { return std::make_unique<ManualAudioBackend>(); };
    return options;
}

// 440 Hz + 880 Hz in both channels.
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

int brightness(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p); }
}  // namespace

class AnalysisTabTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void analysingFromTheWindowShowsProgressThenTheTones();
    void plainAnalysisReusesTheStoreAltAndMetaAnalyseAnew();
    void commandsConfirmShowProgressRefuseWhileBusyCancelAndUndo();
    void enteringWithoutAnalysisAsksAndLeavingCommitsInsideTheSegment();
    void closingTheWindowWhileAnOperationRunsLeavesNothingBehind();
    void aNewAnalysisTakesTheMultiPencilModifyRefusesWhileItSelects();

private:
    // Opens path in a window of the host (set up for Extract) and shows it large enough for the
    // rows of both tones.
    void open(const QString& path);
    void waitForAnalysis();
    void waitUntilIdle();
    QAbstractButton* button(const char* outlet) { return mWindow->button(outlet); }
    QAction* menuItem(const QString& title);
    bool undoEnabled() { return menuItem("&Undo")->isEnabled(); }
    KVAnalysisController& controller() { return *mDocument->analysisController(); }
    // Widget point of frame column x and pitch row y of the analysis view.
    static QPoint at(int x, int row) { return {x, KVAnalysisView::kHeight - 1 - row}; }
    // The pixel of view point p in the visible part of the picture.
    QRgb pixel(const QImage& viewport, QPoint p) { return viewport.pixel(p + mWindow->analysisView()->pos()); }
    void dragBox(QPoint from, QPoint to);

    std::unique_ptr<QtPlatformScope> mScope;
    std::unique_ptr<WindowDocumentHost> mHost;
    std::unique_ptr<AppController> mController;
    KVEditorWindow* mWindow = nullptr;
    KVWaveDocument* mDocument = nullptr;
};

void AnalysisTabTest::init() {
    mScope = std::make_unique<QtPlatformScope>();
    mHost = std::make_unique<WindowDocumentHost>(silentOutputs());
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

void AnalysisTabTest::open(const QString& path) {
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
    for (QAction* action : mWindow->menuBar()->findChildren<QAction*>())
        if (action->text() == title) return action;
    qFatal("no menu item %s", qPrintable(title));
}

void AnalysisTabTest::dragBox(QPoint from, QPoint to) {
    KVAnalysisView* view = mWindow->analysisView();
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 10; ++i) QTest::mouseMove(view, from + (to - from) * i / 10);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
}

// The button analyses the input view's segment: the tab changes at once, the status line counts
// the progress, then the picture shows 440 Hz in row 414 and 880 Hz in row 486 over the level
// strip, under the ruler of seconds.
void AnalysisTabTest::analysingFromTheWindowShowsProgressThenTheTones() {
    const QString sound = mScope->file("tones.wav");
    writeTones(sound, 3.0);
    open(sound);
    QSignalSpy status(mWindow->analysisView(), &KVAnalysisView::statusMessageChanged);
    QTest::mouseClick(button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QCOMPARE(mWindow->tabs()->currentIndex(), int(KVEditorWindow::kAnalysisTab));
    waitForAnalysis();
    QVERIFY(!status.isEmpty());
    QVERIFY2(status.first().first().toString().startsWith("Processing... "), qPrintable(status.first().first().toString()));
    QTRY_COMPARE(mWindow->analysisView()->statusMessage(), QString());
    QTest::qWait(50);
    const QImage viewport = mWindow->analysisView()->parentWidget()->grab().toImage();
    saveArtifact(mWindow->grab().toImage(), "analysis-tab.png");
    const int quiet = brightness(pixel(viewport, at(300, 450)));
    QVERIFY2(brightness(pixel(viewport, at(300, 414))) > 3 * quiet + 60, "440 Hz row");
    QVERIFY2(brightness(pixel(viewport, at(300, 486))) > 3 * quiet + 60, "880 Hz row");
    QCOMPARE(pixel(viewport, at(300, 1)), qRgb(255, 255, 255));  // the strip's outline
    int tick = 0, label = 0;  // second 1 at column 344: its tick at the top, its label below
    const int x = 345 + mWindow->analysisView()->pos().x();
    for (int y = 3; y < 13; ++y) tick += brightness(viewport.pixel(x, y)) > 300;
    for (int y = 14; y < 30; ++y)
        for (int dx = -11; dx < 35; ++dx) label += brightness(viewport.pixel(x + dx, y)) > 300;
    QVERIFY2(tick >= 8, "ruler tick");
    QVERIFY2(label > 10, "ruler label");
}

// Without a modifier the stored analysis is loaded (no progress to show); Alt or Meta on the
// button, like the File menu's item with them held, analyses again from scratch.
void AnalysisTabTest::plainAnalysisReusesTheStoreAltAndMetaAnalyseAnew() {
    const QString sound = mScope->file("tones.wav");
    writeTones(sound, 2.5);
    open(sound);
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
}

// Select all asks first (Cancel leaves the store alone); each processing command shows its text
// in the progress box, a second command while it runs only beeps, Cancel stops an operation
// short, and Undo brings the store back byte for byte. The Undo item follows.
void AnalysisTabTest::commandsConfirmShowProgressRefuseWhileBusyCancelAndUndo() {
    const QString sound = mScope->file("tones.wav");
    writeTones(sound, 3.0);
    open(sound);
    button("uiAnalyzeSegmentButton")->click();
    waitForAnalysis();
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
    const int beeps = mScope->platform().beepCount();
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

    button("uiIsolateDeterministicButton")->click();
    mWindow->cancelButton()->click();
    waitUntilIdle();
    QVERIFY(storeBytes(selection) != sustained);
    QVERIFY(mWindow->progressBox()->isHidden());
    menuItem("&Undo")->trigger();
    QCOMPARE(storeBytes(selection), all);
    QTRY_VERIFY(!undoEnabled());  // one level of undo

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
}

// The analysis tab without an analysis asks first: Cancel keeps the input tab, Analyze analyses
// the chosen segment. A box drawn with the mouse turns Undo on; leaving for the master writes the
// selection there, and only inside the segment.
void AnalysisTabTest::enteringWithoutAnalysisAsksAndLeavingCommitsInsideTheSegment() {
    const QString sound = mScope->file("tones.wav");
    writeTones(sound, 6.0);
    open(sound);
    KVWaveSegmentView* input = mWindow->segmentView();
    input->setSelectionStartFrame(2 * kSecond);
    input->setSelectionEndFrame(4 * kSecond);
    const FramePos start = input->selectionStartFrame(), end = input->selectionEndFrame();  // on whole records
    QVERIFY(start > kSecond && end < 5 * kSecond);
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
    QCOMPARE(mWindow->analysisView()->tool(), AnalysisTool::box);
    dragBox(at(100, 430), at(200, 400));
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

// The operation's worker outlives the window and its view: its end must not reach either.
void AnalysisTabTest::closingTheWindowWhileAnOperationRunsLeavesNothingBehind() {
    const QString sound = mScope->file("tones.wav");
    writeTones(sound, 3.0);
    open(sound);
    button("uiAnalyzeSegmentButton")->click();
    waitForAnalysis();
    button("uiBoxButton")->click();
    dragBox(at(100, 430), at(200, 400));
    const std::weak_ptr<KVAnalysisController> running = controller().shared_from_this();
    button("uiIsolateDeterministicButton")->click();
    QVERIFY(mDocument->isBusy());
    mWindow->close();
    mDocument = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(running.expired(), kLongWait);
    QTRY_VERIFY(mHost->documentWindows().isEmpty());
}

// Whatever tool was chosen, a new analysis starts with the multi pencil. In Modify mode the
// selection follows the analysis as it arrives: meanwhile a command beeps and changes nothing, and
// De-select answers with the busy alert.
void AnalysisTabTest::aNewAnalysisTakesTheMultiPencilModifyRefusesWhileItSelects() {
    const QString sound = mScope->file("tones.wav");
    writeTones(sound, 3.0);
    open(sound);
    button("uiModifyButton")->click();
    button("uiBoxButton")->click();
    QCOMPARE(mWindow->analysisView()->tool(), AnalysisTool::box);
    button("uiAnalyzeSegmentButton")->click();
    QCOMPARE(mWindow->analysisView()->tool(), AnalysisTool::multiPencil);
    QVERIFY(button("uiMultiPencilButton")->isChecked());
    QVERIFY(mDocument->isBusy());
    const int beeps = mScope->platform().beepCount();
    button("uiIsolateDeterministicButton")->click();
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);
    QVERIFY(mWindow->progressBox()->isHidden());
    QString title;
    answerNextAlert("De-Select all");
    answerNextAlert("Okay", &title);
    button("uiSelectNoneButton")->click();
    QCOMPARE(title, QString("Processing is in progress"));
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);
    waitForAnalysis();
    QVERIFY(!storeBytes(controller().store()).isEmpty());  // everything selected after all
}

QTEST_MAIN(AnalysisTabTest)
#include "AnalysisTabTest.moc"

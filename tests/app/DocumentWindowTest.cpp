// Editor windows on the offscreen platform: the frame of an empty one (the three tabs in order,
// every control named for screen readers and desktop tests by its label or tooltip, the volume
// in dB), and documents in them, on generated files: the title and the input overview's picture
// (waveforms, ruler, selection lines and markers, the frame's shadow), Space playing the clicked
// segment through a silent output paced in real time, a file opened twice under another
// spelling, a refused 3-channel file, the segment coming back after reopening, and Quit while a
// file's set-up question is open.
#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QtTest>

#include "app/AppController.h"
#include "app/BrandWindow.h"
#include "app/DesktopDocuments.h"
#include "app/KVEditorWindow.h"
#include "app/WindowDocumentHost.h"
#include "playback/PacedAudioBackend.h"
#include "control/KVSegmentController.h"
#include "qtsupport/QtTestSupport.h"
#include "views/AnalysisScrollArea.h"
#include "views/KVAnalysisView.h"
#include "views/KVOutputFileView.h"
#include "views/KVWaveSegmentView.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr FrameCount kSecond = 44100;

KVDocumentOptions pacedOutput() {
    KVDocumentOptions options;
    options.makeOutput = [] { return std::make_unique<PacedAudioBackend>(); };
    return options;
}

// themeColor08 (204, 204, 229) of the waveforms; the labels (190, 207, 255) are bluer.
bool isWaveform(QColor c) {
    return c.red() > 170 && std::abs(c.red() - c.green()) < 8 && c.blue() - c.red() > 10 && c.blue() - c.red() < 40;
}
bool isYellowish(QColor c) { return c.red() > 150 && c.green() > 150 && c.blue() < 120; }
}  // namespace

class DocumentWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { mScope = std::make_unique<QtPlatformScope>(); }
    void cleanup() { mScope.reset(); }
    void emptyWindowHasTheTabsNamedControlsAndTheVolumeInDecibels();
    void opensShowsAndPlaysTheClickedSegmentWhichComesBackAfterReopening();
    void quitWhileTheSetUpQuestionIsOpenClosesEveryDocument();
    void windowMenuListsTheOpenDocuments();
    void quitEndsTheEventLoopWhileAPanelIsShown();

private:
    std::unique_ptr<QtPlatformScope> mScope;
};

void DocumentWindowTest::emptyWindowHasTheTabsNamedControlsAndTheVolumeInDecibels() {
    KVEditorWindow window;
    QCOMPARE(window.tabs()->count(), 3);
    const QStringList titles{"Input Overview", "Analysis Editor", "Master Output"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(window.tabs()->tabText(i), titles[i]);
        QCOMPARE(window.tabView(i)->accessibleName(), titles[i]);
    }
    QVERIFY(window.segmentView() && window.tabView(0)->isAncestorOf(window.segmentView()));
    QVERIFY(window.analysisView() && window.tabView(1)->isAncestorOf(window.analysisView()));
    QVERIFY(window.outputView() && window.tabView(2)->isAncestorOf(window.outputView()));
    QVERIFY(!window.outputView()->accessibleName().isEmpty());

    // Every control has its label or tooltip as accessible name.
    const QStringList required{"uiPlayButton", "uiStopButton", "uiLoopButton", "uiRewindButton", "uiForwardButton",
                               "uiPlayOriginalButton", "uiMultiPencilButton", "uiBoxButton", "uiAnalyzeSegmentButton",
                               "uiExportAudioButton", "uiRevealFileButton", "uiSnapToGridButton", "uiExtractButton"};
    for (const QString& name : required) QVERIFY2(window.button(name), qPrintable(name));
    int controls = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->objectName().startsWith("ui")) continue;
        ++controls;
        const auto* b = qobject_cast<QAbstractButton*>(w);
        const QString expected = b ? b->text() : w->toolTip();
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        if (!expected.isEmpty()) QCOMPARE(w->accessibleName(), expected);
    }
    QVERIFY(controls >= 35);

    QCOMPARE(window.volumeText()->text(), QString("0.00 dB"));
    window.show();
    window.volumeSlider()->setFocus();
    QTest::keyClick(window.volumeSlider(), Qt::Key_Left);
    QCOMPARE(window.volumeText()->text(), QString("-1.00 dB"));
    QVERIFY(window.button("uiStopButton")->isChecked() && !window.button("uiPlayButton")->isChecked());
    saveArtifact(window.grab().toImage(), "editor-window-empty.png");

    // Made as small as it goes: every button still holds its label and the picture keeps room.
    window.resize(300, 200);
    QTRY_VERIFY(window.width() > 300 && window.height() > 200);
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>())
        if (b->isVisibleTo(&window) && !b->text().isEmpty())
            QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()), qPrintable(b->text()));
    window.tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab);
    const auto* area = window.findChild<AnalysisScrollArea*>();
    QTRY_VERIFY(area->width() >= 480);
    QVERIFY(area->height() >= 240);
    saveArtifact(window.grab().toImage(), "editor-window-smallest.png");
}

// At 1000 pixels over 5 s: the left sine at 0.8 above, the right one at 0.4 below, ten labelled
// ticks, the start line (upper half) where the click put it and the end line (lower half) 2 s later.
// Space plays that segment to its end; opening the file again under another spelling only beeps,
// a 3-channel file is refused, and after closing the window the segment comes back on reopening.
void DocumentWindowTest::opensShowsAndPlaysTheClickedSegmentWhichComesBackAfterReopening() {
    const QString sound = mScope->file("take.wav");
    writeTestWave(sound, 5.0);
    DesktopDocuments documents(pacedOutput());
    KVEditorWindow* window = openWindow(documents, sound);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QString("take"));
    // The set-up question was answered while opening: the free space of the file's volume shows.
    QVERIFY2(QRegularExpression(R"(^ *\d+\.\d\d GB$)").match(window->freeDiskSpaceLabel()->text()).hasMatch(),
             qPrintable(window->freeDiskSpaceLabel()->text()));
    KVWaveSegmentView* view = window->segmentView();
    KVWaveDocument* document = documents.documentOfWindow(window);
    view->setFixedWidth(1000);
    QTRY_COMPARE(view->width(), 1000);
    document->segmentController()->waitForOverview();
    const double fpp = 5.0 * kSecond / 1000;
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(220, 20));
    const FramePos start = FramePos(220 * fpp) / 128 * 128;  // on a block
    QCOMPARE(view->selectionStartFrame(), start);
    QCOMPARE(view->selectionEndFrame(), start + 88'320);  // the 2 s minimum, on a block
    saveArtifact(window->tabView(0)->grab().toImage(), "document-input-tab-5s-stereo.png");
    const QImage picture = view->grab().toImage();
    const int h = picture.height();
    const auto at = [&](int x, double fromBottom) { return picture.pixelColor(x, int(h - fromBottom)); };
    // Columns are shorter than a period here, so the envelopes follow the sine: look along whole
    // rows for the peaks (right of the selection, whose shading lightens what lies under it).
    const auto waveformInRow = [&](double fromBottom) {
        int n = 0;
        for (int x = 640; x < 995; ++x) n += isWaveform(at(x, fromBottom));
        return n;
    };
    QVERIFY(waveformInRow(h * (0.75 + 0.75 / 4)) > 20);  // left, inside 0.8
    QCOMPARE(waveformInRow(h * (0.75 + 0.9 / 4)), 0);    // left, beyond 0.8
    QVERIFY(waveformInRow(h * (0.25 + 0.35 / 4)) > 20);  // right, inside 0.4
    QCOMPARE(waveformInRow(h * (0.25 + 0.5 / 4)), 0);    // right, beyond 0.4
    for (int i = 0; i < 10; ++i) {
        // The tick stands out from the background beside it (lightened inside the selection).
        const QColor tick = picture.pixelColor(i * 100, 3), beside = picture.pixelColor(i * 100 + 2, 3);
        if (i > 0) QVERIFY2(tick.blue() - beside.blue() >= 10, qPrintable(QString("tick %1").arg(i)));
        int light = 0;
        for (int x = i * 100 + 6; x < i * 100 + 66; ++x)
            for (int y = 6; y < 20; ++y) light += picture.pixelColor(x, y).blue() > 150;
        QVERIFY2(light > 30, qPrintable(QString("label %1").arg(i)));
    }
    const int endX = int((start + 88'320) / fpp), startX = int(start / fpp);
    QVERIFY(isYellowish(at(endX, h / 3)) && !isYellowish(at(endX, 2 * h / 3)));
    // The play cursor waits on the start line: its red darkens the line's yellow to red.
    const auto isRed = [](QColor c) { return c.red() > 150 && c.green() < 100 && c.blue() < 100; };
    QVERIFY(isRed(at(startX, 2 * h / 3)) && !isRed(at(startX, h / 3)));
    // The markers, wider than their lines, sit on the start line's top end and the end line's bottom end.
    for (int dx : {-4, 4}) {
        QVERIFY(isYellowish(picture.pixelColor(startX + dx, 4)) && !isYellowish(picture.pixelColor(startX + dx, 20)));
        QVERIFY(isYellowish(at(endX + dx, 4)) && !isYellowish(at(endX + dx, 20)));
    }
    // The frame's dark gray shadow falls 2 px right and down: inside along the left edge, it
    // lightens the near-black canvas between the channels; the right edge's shadow falls outside.
    const auto lift = [&](int x, int inner) {
        const QColor a = at(x, 0.45 * h), b = at(inner, 0.45 * h);
        return a.red() + a.green() + a.blue() - b.red() - b.green() - b.blue();
    };
    QVERIFY2(lift(2, 12) >= 6 && lift(996, 985) <= 3, qPrintable(QString("%1 %2").arg(lift(2, 12)).arg(lift(996, 985))));

    // Space plays the segment: the cursor moves on (the window's first paint, seconds on a loaded
    // machine, is done first so that it is seen moving) and play stops at the segment's end.
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    window->activateWindow();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(document->isPlaying());
    QVERIFY(window->button("uiPlayButton")->isChecked());
    FramePos furthest = 0;
    QTRY_VERIFY_WITH_TIMEOUT((furthest = std::max(furthest, view->playCursor()), !document->isPlaying()), 30000);
    QVERIFY2(furthest > start + 22'050, qPrintable(QString::number(furthest)));
    QVERIFY(window->button("uiStopButton")->isChecked());

    // Neither the file under another spelling (a beep, the window it has) nor a 3-channel file
    // (its alert) makes a new window.
    const int beeps = mScope->platform().beepCount();
    const QString folder = QFileInfo(sound).absolutePath();
    QVERIFY(documents.openDocument(folder + "/./../" + QFileInfo(folder).fileName() + "/take.wav"));
    QCOMPARE(documents.count(), std::size_t(1));
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);
    QVERIFY(window->isVisible());
    const QString three = mScope->file("three.wav");
    writeTestWave(three, 1.0, 3);
    QString title;
    answerNextAlert("Ok", &title);
    QVERIFY(!documents.openDocument(three));
    QCOMPARE(title, QString("Unsupported number of channels in \"three.wav\""));
    QCOMPARE(documents.count(), std::size_t(1));
    QVERIFY(!documents.windowForPath(three));

    window->close();
    QCOMPARE(documents.count(), std::size_t(0));
    DesktopDocuments again(pacedOutput());
    const std::size_t alerts = mScope->platform().alertLog().size();
    QVERIFY(again.openDocument(sound));
    window = again.windowForPath(sound);
    QVERIFY(window);
    // The mode chosen at the first opening is remembered (closing kept it): nothing is asked.
    QCOMPARE(mScope->platform().alertLog().size(), alerts);
    QCOMPARE(window->segmentView()->selectionStartFrame(), start);
    QCOMPARE(window->segmentView()->selectionEndFrame(), start + 88'320);
}

// Ctrl+Q in the question of a file being opened: the question is answered as its default, the
// opening finishes and then every window closes, the other document's too. A window keeps the
// size it had while it was asked.
void DocumentWindowTest::quitWhileTheSetUpQuestionIsOpenClosesEveryDocument() {
    WindowDocumentHost host(pacedOutput());
    AppController controller(host, StartupTimings{50, 1000});
    host.setController(&controller);
    const QString first = mScope->file("first.wav"), second = mScope->file("second.wav");
    writeTestWave(first, 1.0);
    writeTestWave(second, 1.0);
    answerNextAlert("Extract");
    QVERIFY(controller.openFile(first));
    QCOMPARE(host.documentWindows().front()->size(), KVEditorWindow().size());  // as the question showed it
    QString asked;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !asked.isEmpty()) return;
        asked = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Q, Qt::ControlModifier);
    });
    poll.start(10);
    controller.openFile(second);  // back once the question has its answer
    QCOMPARE(asked, QString("Auto setup document?"));
    QTRY_VERIFY(host.documentWindows().isEmpty());
    QCOMPARE(host.documents().count(), std::size_t(0));
    const auto alerts = mScope->platform().alertLog();
    QCOMPARE(alerts.size(), std::size_t(2));  // the two set-up questions, nothing after the quit
}

// The Window menu lists every open document, the front one checked; choosing one brings it up.
void DocumentWindowTest::windowMenuListsTheOpenDocuments() {
    WindowDocumentHost host(pacedOutput());
    AppController controller(host, StartupTimings{50, 1000});
    host.setController(&controller);
    for (const char* name : {"drums.wav", "bass.wav"}) {
        writeTestWave(mScope->file(name), 1.0);
        answerNextAlert("Extract");
        QVERIFY(controller.openFile(mScope->file(name)));
    }
    KVEditorWindow* drums = host.documents().windowForPath(mScope->file("drums.wav"));
    KVEditorWindow* bass = host.documents().windowForPath(mScope->file("bass.wav"));
    bass->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(bass));
    QMenu* menu = nullptr;
    for (QMenu* m : bass->menuBar()->findChildren<QMenu*>())
        if (m->title() == "&Window") menu = m;
    QVERIFY(menu);
    const auto listed = [&] {
        emit menu->aboutToShow();
        QStringList titles;
        for (QAction* a : menu->actions())
            if (a->isCheckable()) titles << a->text() + (a->isChecked() ? "*" : "");
        titles.sort();
        return titles;
    };
    QCOMPARE(listed(), (QStringList{"bass*", "drums"}));
    QCOMPARE(listed(), (QStringList{"bass*", "drums"}));  // made anew, not added twice
    for (QAction* a : menu->actions())
        if (a->text() == "drums") a->trigger();
    QTRY_VERIFY(drums->isActiveWindow());
    controller.applicationWillTerminate();
}

// The about panel declines a close (it fades out instead), which made the application's own
// quit give up and left a process with no window. Quit must end the main event loop.
void DocumentWindowTest::quitEndsTheEventLoopWhileAPanelIsShown() {
    WindowDocumentHost host(pacedOutput());
    AppController controller(host, StartupTimings{50, 1000});
    host.setController(&controller);
    QTimer::singleShot(0, &controller, [&] {
        controller.uiAbout();
        controller.uiQuit();
    });
    // Only reached when the quit failed: the loop is ended with another status.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(60'000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(controller.hasTerminated());
}

QTEST_MAIN(DocumentWindowTest)
#include "DocumentWindowTest.moc"

// Documents in editor windows on the offscreen platform, on generated files: the title and the
// input overview's picture, clicks that move the segment and come back after reopening, a file
// opened twice under another spelling, a refused 3-channel file, Space playing the segment
// through a silent output paced in real time, and Quit while a file's set-up question is open.
#include <QAbstractButton>
#include <QMessageBox>
#include <QtTest>

#include "app/AppController.h"
#include "app/DesktopDocuments.h"
#include "app/KVEditorWindow.h"
#include "app/WindowDocumentHost.h"
#include "playback/PacedAudioBackend.h"
#include "qtsupport/QtTestSupport.h"
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

bool isYellowish(QColor c) { return c.red() > 150 && c.green() > 150 && c.blue() < 120; }
}  // namespace

class DocumentWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { mScope = std::make_unique<QtPlatformScope>(); }
    void cleanup() { mScope.reset(); }
    void opensWithTitleAndOverview();
    void clickedSegmentComesBackAfterReopening();
    void secondOpeningUnderAnotherSpellingBeeps();
    void threeChannelsAreRefused();
    void spacePlaysTheSegmentToItsEnd();
    void quitWhileTheSetUpQuestionIsOpenClosesEveryDocument();

private:
    KVEditorWindow* open(DesktopDocuments& documents, const QString& path) {
        answerNextAlert("Extract");  // the set-up question of a file seen for the first time
        if (!documents.openDocument(path)) return nullptr;
        KVEditorWindow* window = documents.windowForPath(path);
        window->resize(1200, 700);
        QTest::qWait(300);  // the overview thread's columns and repaints
        return window;
    }
    std::unique_ptr<QtPlatformScope> mScope;
};

void DocumentWindowTest::opensWithTitleAndOverview() {
    const QString sound = mScope->file("take.wav");
    writeTestWave(sound, 5.0);
    DesktopDocuments documents(pacedOutput());
    KVEditorWindow* window = open(documents, sound);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QString("take"));
    KVWaveSegmentView* view = window->segmentView();
    QTRY_VERIFY(!view->grab().isNull());
    const QImage tab = window->tabView(0)->grab().toImage();
    saveArtifact(tab, "document-input-tab-5s-stereo.png");
    const QImage picture = view->grab().toImage();
    const double fpp = 5.0 * kSecond / picture.width();
    const int endX = int(view->selectionEndFrame() / fpp);
    QCOMPARE(view->selectionStartFrame(), FramePos(0));
    QCOMPARE(view->selectionEndFrame(), FramePos(88'320));  // the 2 s minimum, on a block
    QVERIFY(isYellowish(picture.pixelColor(endX, picture.height() - 40)));
    int labelled = 0;  // ten time labels along the top
    for (int i = 0; i < 10; ++i) {
        const int x = i * picture.width() / 10 + 6;
        int light = 0;
        for (int dx = 0; dx < 60; ++dx)
            for (int y = 6; y < 20; ++y) light += picture.pixelColor(x + dx, y).blue() > 150;
        labelled += light > 30;
    }
    QCOMPARE(labelled, 10);
}

void DocumentWindowTest::clickedSegmentComesBackAfterReopening() {
    const QString sound = mScope->file("take.wav");
    writeTestWave(sound, 10.0);
    FramePos start = 0, end = 0;
    {
        DesktopDocuments documents(pacedOutput());
        KVEditorWindow* window = open(documents, sound);
        KVWaveSegmentView* view = window->segmentView();
        const int h = view->height();
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->width() * 7 / 10, h - 10));  // lower half: end
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->width() * 2 / 10, 10));      // upper half: start
        start = view->selectionStartFrame();
        end = view->selectionEndFrame();
        QVERIFY(start > 0 && start % 128 == 0 && end % 128 == 0 && end - start >= 88'200);
        QCOMPARE(start, FramePos(view->width() * 2 / 10 * view->framesPerPixel()) / 128 * 128);
        window->close();
        QCOMPARE(documents.count(), std::size_t(0));
    }
    DesktopDocuments documents(pacedOutput());
    KVEditorWindow* window = open(documents, sound);
    QCOMPARE(window->segmentView()->selectionStartFrame(), start);
    QCOMPARE(window->segmentView()->selectionEndFrame(), end);
}

void DocumentWindowTest::secondOpeningUnderAnotherSpellingBeeps() {
    const QString sound = mScope->file("take.wav");
    writeTestWave(sound, 3.0);
    DesktopDocuments documents(pacedOutput());
    KVEditorWindow* window = open(documents, sound);
    QVERIFY(window);
    const int beeps = mScope->platform().beepCount();
    const QString otherSpelling = QFileInfo(sound).absolutePath() + "/./../" + QFileInfo(QFileInfo(sound).absolutePath()).fileName() + "/take.wav";
    QVERIFY(documents.openDocument(otherSpelling));
    QCOMPARE(documents.count(), std::size_t(1));
    QCOMPARE(mScope->platform().beepCount(), beeps + 1);
    QVERIFY(window->isVisible());
}

void DocumentWindowTest::threeChannelsAreRefused() {
    const QString sound = mScope->file("three.wav");
    writeTestWave(sound, 1.0, 3);
    DesktopDocuments documents(pacedOutput());
    QString title;
    answerNextAlert("Ok", &title);
    QVERIFY(!documents.openDocument(sound));
    QCOMPARE(title, QString("Unsupported number of channels in \"three.wav\""));
    QCOMPARE(documents.count(), std::size_t(0));
    QVERIFY(!documents.windowForPath(sound));
}

void DocumentWindowTest::spacePlaysTheSegmentToItsEnd() {
    const QString sound = mScope->file("take.wav");
    writeTestWave(sound, 5.0);
    DesktopDocuments documents(pacedOutput());
    KVEditorWindow* window = open(documents, sound);
    KVWaveSegmentView* view = window->segmentView();
    window->activateWindow();
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Space);
    KVWaveDocument* document = documents.documentOfWindow(window);
    QVERIFY(document->isPlaying());
    QVERIFY(window->button("uiPlayButton")->isChecked());
    QTRY_VERIFY_WITH_TIMEOUT(view->playCursor() > 22'050, 3000);  // moving
    QTRY_VERIFY_WITH_TIMEOUT(!document->isPlaying(), 5000);        // stops at the segment's end
    QVERIFY(window->button("uiStopButton")->isChecked());
}

// Ctrl+Q in the question of a file being opened: the question is answered as its default, the
// opening finishes and then every window closes, the other document's too.
void DocumentWindowTest::quitWhileTheSetUpQuestionIsOpenClosesEveryDocument() {
    WindowDocumentHost host(pacedOutput());
    AppController controller(host, StartupTimings{50, 1000});
    host.setController(&controller);
    const QString first = mScope->file("first.wav"), second = mScope->file("second.wav");
    writeTestWave(first, 1.0);
    writeTestWave(second, 1.0);
    answerNextAlert("Extract");
    QVERIFY(controller.openFile(first));
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

QTEST_MAIN(DocumentWindowTest)
#include "DocumentWindowTest.moc"

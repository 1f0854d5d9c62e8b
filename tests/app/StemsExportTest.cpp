// The stems export from the window, on the offscreen platform: the File menu's Export Stems...
// (after Export Segment..., enabled once a segment is analysed), its save panel, the progress
// sheet saying what runs, both files written and adding up to the source (read back by the
// independent Python reader), and the clipped samples of the stems and of the segment export
// said in the status line as the sheet ends. Pictures of the window and of its File menu are saved as artifacts.
#include <QtTest>

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>

#include "app/AppController.h"
#include "app/KVEditorWindow.h"
#include "app/KVProgressSheet.h"
#include "app/WindowDocumentHost.h"
#include "document/KVWaveDocument.h"
#include "qtsupport/QtTestSupport.h"
#include "support/Signals.h"
#include "support/StemsCheck.h"
#include "views/KVProgressSubview.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr int kLongWait = 600'000;  // a loaded machine analyses slowly
constexpr FrameCount kFrames = 3 * 44100;

// A stereo square wave at full scale: its rendered selection rings past full scale at each edge.
void writeSquare(const QString& path) {
    Channels channels(2, std::vector<float>(std::size_t(kFrames)));
    for (FrameCount i = 0; i < kFrames; ++i) {
        channels[0][std::size_t(i)] = (i / 220) % 2 ? -1.0f : 1.0f;
        channels[1][std::size_t(i)] = (i / 150) % 2 ? 0.9f : -0.9f;
    }
    writeWave(path.toStdString(), channels, 44100);
}

// Once the save panel is open (checked each time the event loop turns), records its proposed
// name and accepts it in folder.
void acceptSavePanel(const QString& folder, QString* proposed) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, folder, proposed] {
        auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!panel) return;
        poll->deleteLater();
        *proposed = panel->findChild<QLineEdit*>("fileNameEdit")->text();
        panel->setDirectory(folder);
        panel->selectFile(*proposed);
        QMetaObject::invokeMethod(panel, "accept");
    });
    poll->start(0);
}

QAction* fileMenuItem(KVEditorWindow* window, const QString& objectName, int* index = nullptr) {
    QMenu* file = window->menuBar()->actions().front()->menu();
    const QList<QAction*> items = file->actions();
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->objectName() == objectName || items[i]->text() == objectName) {
            if (index) *index = i;
            return items[i];
        }
    return nullptr;
}
}  // namespace

class StemsExportTest : public QObject {
    Q_OBJECT
private slots:
    void fileMenuExportsBothStemsAndTheStatusLineSaysWhatClipped();
};

void StemsExportTest::fileMenuExportsBothStemsAndTheStatusLineSaysWhatClipped() {
    QtPlatformScope scope;
    scope.platform().setRevealsRecordedOnly(true);
    const QString sound = scope.file("square.wav");
    writeSquare(sound);
    WindowDocumentHost host;
    AppController controller(host, StartupTimings{50, 1000});
    host.setController(&controller);
    answerNextAlert("Modify");  // Modify selects everything as the analysis arrives
    QVERIFY(controller.openFile(sound));
    KVEditorWindow* window = host.documents().windowForPath(sound);
    QVERIFY(window);
    window->resize(1200, 700);
    KVWaveDocument* document = host.documents().documentOfWindow(window);

    int stemsAt = -1, segmentAt = -1;
    QAction* stems = fileMenuItem(window, "uiExportStemsMenuItem", &stemsAt);
    QVERIFY(stems && fileMenuItem(window, "Export &Segment...", &segmentAt));
    QCOMPARE(stems->text(), QString("Export S&tems..."));
    QCOMPARE(stemsAt, segmentAt + 1);
    QVERIFY(!stems->isEnabled());  // no analysis yet

    QTest::mouseClick(window->button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(document->analysisController() && !document->isAnalysisRunning() && !document->isBusy(),
                             kLongWait);
    QTRY_VERIFY(stems->isEnabled());
    saveArtifact(window->menuBar()->actions().front()->menu()->grab().toImage(), "stems-export-file-menu.png");
    QVERIFY(document->segmentStart() >= 0 && document->segmentEnd() > document->segmentStart());

    QString proposed;
    acceptSavePanel(scope.file(""), &proposed);
    stems->trigger();
    QCOMPARE(proposed, QString("square [stems].wav"));
    QVERIFY(window->progressSheet()->isRunning());
    QVERIFY(window->progressBox()->label().startsWith("Exporting stems..."));
    QTRY_VERIFY_WITH_TIMEOUT(!document->isExportingSegment() && !window->progressSheet()->isVisible(), kLongWait);
    const KVExportReport& report = document->lastExport();
    QCOMPARE(report.kind, KVExportReport::Kind::Stems);
    QCOMPARE(report.outcome, KVExportWriter::Outcome::Written);
    const QString selection = scope.file("square [stems]-selection.wav"), rest = scope.file("square [stems]-rest.wav");
    QCOMPARE(QString::fromStdString(report.paths.at(0)), selection);
    QCOMPARE(QString::fromStdString(report.paths.at(1)), rest);
    QVERIFY(!QFileInfo::exists(scope.file("square [stems].wav")));
    const StemsCheck check = checkStems(sound.toStdString(), selection.toStdString(), rest.toStdString(),
                                        document->segmentStart(), document->segmentEnd() - document->segmentStart());
    QVERIFY2(check.text("ok") == "1", check.output.c_str());
    QCOMPARE(check.text("rest"), std::string("132300,2,3,44100"));
    QCOMPARE(check.number("sum_mismatches"), std::int64_t(report.unstorableSamples));
    QCOMPARE(check.number("outside_nonzero"), std::int64_t(0));
    QVERIFY(report.clippedSamples > 100);
    // Every clipped sample lies at the limits; a sample just inside them may round onto them.
    const auto atLimits = check.number("selection_at_limits");
    QVERIFY(std::int64_t(report.clippedSamples) <= atLimits);
    QVERIFY(double(report.clippedSamples) >= 0.99 * double(atLimits));
    const QString status = window->statusBar()->currentMessage();
    QVERIFY2(status.startsWith(QString("The selection clipped %1 samples; the rest stem holds the difference")
                                   .arg(report.clippedSamples)),
             qPrintable(status));
    QCOMPARE(status, QString::fromStdString(report.clippingText()));
    QCOMPARE(QString::fromStdString(scope.platform().revealLog().back()), selection);
    saveArtifact(window->grab().toImage(), "stems-export-window.png");

    // The segment export of the same selection says its own count the same way.
    acceptSavePanel(scope.file(""), &proposed);
    fileMenuItem(window, "Export &Segment...")->trigger();
    QCOMPARE(proposed, QString("square [segment].wav"));
    QVERIFY(window->statusBar()->currentMessage().isEmpty());  // cleared for the new export
    QTRY_VERIFY_WITH_TIMEOUT(!document->isExportingSegment() && !window->progressSheet()->isVisible(), kLongWait);
    QCOMPARE(document->lastExport().kind, KVExportReport::Kind::Segment);
    QCOMPARE(document->lastExport().clippedSamples, report.clippedSamples);
    const QString segmentStatus = QString("The export clipped %1 samples").arg(report.clippedSamples);
    QCOMPARE(window->statusBar()->currentMessage(), segmentStatus);
}

QTEST_MAIN(StemsExportTest)
#include "StemsExportTest.moc"

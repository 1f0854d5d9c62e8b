// The master tab from the window side, on the offscreen platform with the real output
// controller: the save panels' proposed names, an export into a folder that cannot be written,
// and the round trip in a document window through the File menu's command and the window's
// buttons: the progress sheet, the clipped samples in the status line, Cancel, the reset asked
// both ways, and the segment export with its reveal and the finished chime as the preference
// says. The export's frames and chunks are read back independently in the control tests.
#include <QtTest>

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QStatusBar>

#include <unistd.h>

#include <cmath>

#include "app/KVEditorWindow.h"
#include "app/KVProgressSheet.h"
#include "app/WindowDocumentHost.h"
#include "control/KVOutputController.h"
#include "qtsupport/QtTestSupport.h"
#include "support/Signals.h"
#include "views/KVProgressSubview.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr float kLevelStep = 1.0f / 32768.0f;

// Clicks the save panel's accept button once it is open, after checking its proposed name; an
// empty folder cancels it.
void answerSavePanel(const QString& folder, QString* proposed) {
    QTimer::singleShot(50, [folder, proposed] {
        auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(panel);
        *proposed = panel->findChild<QLineEdit*>("fileNameEdit")->text();
        if (folder.isEmpty()) return panel->reject();
        panel->setDirectory(folder);
        panel->selectFile(*proposed);
        QMetaObject::invokeMethod(panel, "accept");
    });
}

// Energy of the left master's grains over records [first, end).
double masterEnergy(KVOutputController& master, FramePos first, FramePos end) {
    double energy = 0.0;
    std::vector<float> samples(KVGrainCollection::kGrainSize);
    std::lock_guard<std::recursive_mutex> guard(master.monitor());
    for (FramePos r = first; r < end; ++r) {
        KVEncodedGrain grain{};
        if (master.leftMasterCollection()->readRecords(&grain, r, 1) != 1) continue;
        grain.decode(samples.data());
        for (float v : samples) energy += double(v) * v;
    }
    return energy;
}

// Samples of the file at the writer's limits (0.999 and -1).
int samplesAtTheLimits(const std::string& path) {
    int count = 0;
    for (const auto& channel : readSound(path))
        for (float v : channel) count += v >= 0.999f - kLevelStep || v <= -1.0f + kLevelStep;
    return count;
}
}  // namespace

class MasterTabTest : public QObject {
    Q_OBJECT
private slots:
    void exportIntoAnUnwritableFolderShowsTheErrorAndLeavesNothing();
    void windowExportsTheMasterResetsItAskingFirstAndExportsTheSegment();
    void cancelInTheSheetStopsTheExportAndLeavesNothing();
    void aCommandEndingWhileTheMasterShowsGoesIntoTheMaster();
};

// The window's export into a folder without write permission (when the tests run as root,
// which writes anywhere, /proc): the document shows the controller's reason as the alert.
void MasterTabTest::exportIntoAnUnwritableFolderShowsTheErrorAndLeavesNothing() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, 0.5);
    QString locked = "/proc";
    if (geteuid() != 0) {
        locked = scope.file("locked");
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    const QStringList before = QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    WindowDocumentHost host;
    KVEditorWindow* window = openWindow(host.documents(), sound);
    QVERIFY(window);
    KVWaveDocument* document = host.documents().documentOfWindow(window);
    QString title;
    answerNextAlert("Okay", &title);
    QVERIFY(document->exportMaster(QDir(locked).filePath("take [edited].wav").toStdString()));
    QTRY_COMPARE(title, QString("Error creating file"));
    QTRY_VERIFY(!window->progressSheet()->isVisible());
    QCOMPARE(document->outputController()->lastExportOutcome(), KVMasterExport::Outcome::CannotCreate);
    QVERIFY(!QFileInfo::exists(QDir(locked).filePath("take [edited].wav")));
    QVERIFY(!QFileInfo::exists(QDir(locked).filePath(".take [edited].wav.partial")));
    const auto log = scope.platform().alertLog();
    QCOMPARE(log.back()[0], std::string("Error creating file"));
    QVERIFY(log.back()[1].find("make sure you have permission to write to the folder") != std::string::npos);
    if (locked != "/proc") {
        QCOMPARE(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

// A record written at 1.5 into the master clips in the export; the window says how many samples
// it clipped. Reset (through the window's button) answered Cancel keeps the edit, so the next
// export clips again; answered Yes it brings the working file back: no clipping.
// Then the analysed segment exported from the window's button: a cancelled save panel only beeps;
// the file is revealed once, after it was written whole; the finished chime sounds only when the
// preference asks for it.
void MasterTabTest::windowExportsTheMasterResetsItAskingFirstAndExportsTheSegment() {
    QtPlatformScope scope;
    scope.platform().setRevealsRecordedOnly(true);
    scope.platform().setIntegerForKey("General_PrefsVersion", 1);
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, 3.0);
    WindowDocumentHost host;
    KVEditorWindow* window = openWindow(host.documents(), sound);
    QVERIFY(window);
    KVOutputController* master = host.documents().documentOfWindow(window)->outputController();
    master->waitForPrefill();
    {
        KVEncodedGrain loud{};
        const std::vector<float> grain(KVGrainCollection::kGrainSize, 1.5f);
        loud.encode(grain.data());
        std::lock_guard<std::recursive_mutex> guard(master->monitor());
        master->leftMasterCollection()->writeRecord(loud, 100);
    }
    const QString target = QDir(scope.file("")).filePath("take [edited].wav");
    for (const char* reset : {"Cancel", "Yes", ""}) {
        const bool loud = *reset;
        QString proposed;
        answerSavePanel(scope.file(""), &proposed);
        host.performOnFrontDocument(EditorCommand::ExportMaster);
        QTRY_COMPARE(proposed, QString("take [edited].wav"));
        QTRY_VERIFY(window->progressSheet()->isVisible());
        QVERIFY(window->progressBox()->label().startsWith("Exporting audio file... "));  // one ellipsis
        QFont bold = window->progressBox()->font();
        bold.setBold(true);
        const QString widest = "Exporting audio file... 100 % complete";
        QVERIFY(window->progressBox()->width() >= QFontMetrics(bold).horizontalAdvance(widest) + 20);
        QTRY_VERIFY_WITH_TIMEOUT(!window->progressSheet()->isVisible(), 20000);
        QCOMPARE(window->progressSheet()->percentField()->text(), QString("Idle"));
        QCOMPARE(master->lastExportOutcome(), KVMasterExport::Outcome::Written);
        const int clipped = samplesAtTheLimits(target.toStdString());
        const QString status = window->statusBar()->currentMessage();
        if (loud) {
            QVERIFY(clipped > 1000);
            QCOMPARE(status, QString("The export clipped %1 samples").arg(master->lastExportClippedSamples()));
            QVERIFY(master->lastExportClippedSamples() > 1000 && master->lastExportClippedSamples() <= clipped);
            QString title;
            answerNextAlert(reset, &title);
            QTest::mouseClick(window->button("uiResetMasterFileButton"), Qt::LeftButton);
            QCOMPARE(title, QString("Reset Master Audio File?"));
            master->waitForPrefill();
            QFile::remove(target);  // no question about replacing it
        } else {
            QCOMPARE(clipped, 0);
            QVERIFY(status.isEmpty());
        }
    }
    QVERIFY(scope.platform().alertLog().size() == 3);  // the set-up question and the two resets

    KVWaveDocument* document = host.documents().documentOfWindow(window);
    QTest::mouseClick(window->button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!document->isAnalysisRunning() && !document->isBusy(), 600'000);
    const QString segment = QDir(scope.file("")).filePath("take [segment].wav");
    const int beeps = scope.platform().beepCount();
    const std::size_t revealed = scope.platform().revealLog().size();
    QString proposed;
    answerSavePanel({}, &proposed);
    QTest::mouseClick(window->button("uiExportSegmentButton"), Qt::LeftButton);
    QCOMPARE(proposed, QString("take [segment].wav"));
    QTRY_COMPARE(scope.platform().beepCount(), beeps + 1);
    QVERIFY(!document->isExportingSegment() && scope.platform().revealLog().size() == revealed);
    const auto chimes = [&] {
        const auto log = scope.platform().soundLog();
        return std::count(log.begin(), log.end(), std::string("finished-new"));
    };
    for (const bool chime : {true, false}) {
        scope.platform().setBoolForKey("General_ChimeWhenDone", chime);
        QFile::remove(segment);
        const auto chimesBefore = chimes();
        const std::size_t revealsBefore = scope.platform().revealLog().size();
        answerSavePanel(scope.file(""), &proposed);
        QTest::mouseClick(window->button("uiExportSegmentButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!document->isExportingSegment() && !window->progressSheet()->isVisible(), 60000);
        QCOMPARE(document->lastExport().outcome, KVExportWriter::Outcome::Written);
        const FrameCount length = std::min<FramePos>(document->segmentEnd(), 3 * 44100) - document->segmentStart();
        QCOMPARE(FrameCount(readSound(segment.toStdString())[0].size()), length);
        const auto reveals = scope.platform().revealLog();
        QCOMPARE(reveals.size(), revealsBefore + 1);
        QCOMPARE(QString::fromStdString(reveals.back()), segment);
        QTest::qWait(20);  // a chime posted by the export's thread
        QCOMPARE(chimes() - chimesBefore, chime ? 1 : 0);
    }
}

// Cancel in the sheet while the master of a minute of sound is still being prefilled or
// written: the export ends as cancelled, the sheet reads "Idle" and nothing is left.
void MasterTabTest::cancelInTheSheetStopsTheExportAndLeavesNothing() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, 60.0);
    WindowDocumentHost host;
    KVEditorWindow* window = openWindow(host.documents(), sound);
    QVERIFY(window);
    KVOutputController* master = host.documents().documentOfWindow(window)->outputController();
    QString proposed;
    answerSavePanel(scope.file(""), &proposed);
    QTest::mouseClick(window->button("uiExportAudioButton"), Qt::LeftButton);
    QTRY_VERIFY(window->progressSheet()->isVisible());
    QCOMPARE(window->progressSheet()->percentField()->text().endsWith("%"), true);
    QCOMPARE(window->cancelButton()->window(), static_cast<QWidget*>(window->progressSheet()));
    QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->progressSheet()->isVisible(), 20000);
    QCOMPARE(window->progressSheet()->percentField()->text(), QString("Idle"));
    QCOMPARE(master->lastExportOutcome(), KVMasterExport::Outcome::Cancelled);
    const QStringList left = QDir(scope.file("")).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList{"take.wav"});
}

// Keep Transients from the Process menu while the Master tab shows: the master holds the edit as
// the command ends (before, it held the previous state and its export said nothing).
void MasterTabTest::aCommandEndingWhileTheMasterShowsGoesIntoTheMaster() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, 3.0);
    WindowDocumentHost host;
    KVEditorWindow* window = openWindow(host.documents(), sound);
    QVERIFY(window);
    KVWaveDocument* document = host.documents().documentOfWindow(window);
    KVOutputController* master = document->outputController();
    master->waitForPrefill();
    QTest::mouseClick(window->button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!document->isAnalysisRunning() && !document->isBusy(), 600'000);
    window->tabs()->setCurrentIndex(KVEditorWindow::kOutputTab);  // the master is still the source
    const FramePos first = document->segmentStart() / kAnalysisHop, end = first + 2 * 44100 / kAnalysisHop;
    const double before = masterEnergy(*master, first, end);
    host.performOnFrontDocument(EditorCommand::KeepTransients);
    QTRY_VERIFY_WITH_TIMEOUT(!document->isBusy(), 600'000);
    const double edited = masterEnergy(*master, first, end);
    // Steady tones have few transients: the master loses more than 10 dB (12 dB measured).
    QVERIFY2(edited < before * 0.1, qPrintable(QString("%1 -> %2").arg(before).arg(edited)));
}

QTEST_MAIN(MasterTabTest)
#include "MasterTabTest.moc"

// The master tab of the editor window: its overview and reset button, the level fields in
// hundredths of a decibel, and the master's export and reset from the window side, on the offscreen platform with the real
// output controller: the save panel's proposed name, an export read back independently (frame
// count, samples, the "bext" and "iXML" chunks found by walking the RIFF chunks), an export into
// a folder that cannot be written, and the reset's confirmation answered both ways; then the
// round trip in a document window through the File menu's command and the window's buttons:
// the progress sheet, the clipped samples in the status line, Cancel, and the reset; the segment
// export with its reveal and the finished chime as the preference says.
#include <QtTest>

#include <QAbstractButton>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStatusBar>

#include <sndfile.h>

#include <fstream>

#include "app/KVEditorWindow.h"
#include "app/KVExportPanels.h"
#include "app/KVProgressSheet.h"
#include "app/WindowDocumentHost.h"
#include "control/KVMixdownStream.h"
#include "control/KVOutputController.h"
#include "qtsupport/QtTestSupport.h"
#include "support/Signals.h"
#include <unistd.h>
#include "utilities/KVUtilities.h"
#include "views/KVOutputFileView.h"
#include "views/KVProgressSubview.h"

using namespace orvex;
using namespace orvex::test;

namespace {
constexpr float kLevelStep = 1.0f / 32768.0f;
const std::string kBext(602, 'b');
const std::string kIxml = "<BWFXML><PROJECT>take</PROJECT></BWFXML>";

// A stereo 16-bit working file carrying a "bext" and an "iXML" chunk.
void writeWorkingFile(const std::string& path, FrameCount frames) {
    const std::vector<float> left = sine(220.0, 44100, frames, 0.8), right = sine(330.0, 44100, frames, 0.4);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    QVERIFY(file);
    SF_CHUNK_INFO bext{}, ixml{};
    std::snprintf(bext.id, sizeof bext.id, "bext");
    bext.id_size = 4;
    bext.datalen = static_cast<unsigned>(kBext.size());
    bext.data = const_cast<char*>(kBext.data());
    std::snprintf(ixml.id, sizeof ixml.id, "iXML");
    ixml.id_size = 4;
    ixml.datalen = static_cast<unsigned>(kIxml.size());
    ixml.data = const_cast<char*>(kIxml.data());
    QCOMPARE(sf_set_chunk(file, &bext), 0);
    QCOMPARE(sf_set_chunk(file, &ixml), 0);
    std::vector<float> interleaved(static_cast<std::size_t>(frames * 2));
    for (FrameCount i = 0; i < frames; ++i) {
        interleaved[static_cast<std::size_t>(2 * i)] = left[static_cast<std::size_t>(i)];
        interleaved[static_cast<std::size_t>(2 * i + 1)] = right[static_cast<std::size_t>(i)];
    }
    sf_writef_float(file, interleaved.data(), frames);
    sf_close(file);
}

// The chunks of a RIFF file by id, read straight from the bytes.
std::map<std::string, std::string> riffChunks(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::map<std::string, std::string> chunks;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        chunks[id] = bytes.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return chunks;
}

KVMetadataChunks chunksOfFile(const std::string& path) {
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100.0, 2);
    return reader ? KVUtilities::metadataChunksOfFile(*reader) : KVMetadataChunks{};
}

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
}  // namespace

class MasterTabTest : public QObject {
    Q_OBJECT
private slots:
    void masterTabHoldsTheOverviewAndLevelsShowHundredths();
    void savePanelProposesTheEditedName();
    void exportHoldsTheWorkingFilesFramesAndChunks();
    void exportIntoAnUnwritableFolderShowsTheErrorAndLeavesNothing();
    void resetAskedYesRebuildsCancelKeeps();
    void windowExportShowsTheSheetAndTheClippedSamplesResetClearsThem();
    void cancelInTheSheetStopsTheExportAndLeavesNothing();
    void segmentExportRevealsTheWrittenFileChimesAsThePreferenceSays();
};

void MasterTabTest::masterTabHoldsTheOverviewAndLevelsShowHundredths() {
    QtPlatformScope scope;
    KVEditorWindow window;
    QVERIFY(window.outputView());
    QVERIFY(window.tabView(KVEditorWindow::kOutputTab)->isAncestorOf(window.outputView()));
    QCOMPARE(window.outputView()->accessibleName(), QString("Master Output File Overview"));
    QVERIFY(window.button("uiResetMasterFileButton"));
    window.volumeSlider()->setValue(KVEditorWindow::sliderValue(-6.02));
    QCOMPARE(window.volumeText()->text(), QString("-6.02 dB"));
    QCOMPARE(KVEditorWindow::sliderDecibels(window.volumeSlider()->value()), -6.02);
}

void MasterTabTest::savePanelProposesTheEditedName() {
    QtPlatformScope scope;
    QString proposed;
    answerSavePanel(scope.file(""), &proposed);
    const QString path = KVExportPanels::askForMasterExportPath(nullptr, scope.file("take.wav"));
    QCOMPARE(proposed, QString("take [edited].wav"));
    QCOMPARE(path, QDir(scope.file("")).filePath("take [edited].wav"));
    answerSavePanel({}, &proposed);
    QVERIFY(KVExportPanels::askForSegmentExportPath(nullptr, scope.file("take.wav")).isEmpty());
    QCOMPARE(proposed, QString("take [segment].wav"));
    QCOMPARE(scope.platform().beepCount(), 1);
}

void MasterTabTest::exportHoldsTheWorkingFilesFramesAndChunks() {
    QtPlatformScope scope;
    const std::string sound = scope.file("take.wav").toStdString(), target = scope.file("out.wav").toStdString();
    const FrameCount frames = 44100 + 77;  // not a whole number of blocks
    writeWorkingFile(sound, frames);
    auto controller = KVOutputController::initWithView(nullptr, sound, true);
    QVERIFY(controller);
    KVMetadataChunks chunks = chunksOfFile(sound);
    controller->exportToPath(target, chunks);
    controller->waitForExport();
    KVUtilities::releaseMetadataChunks(chunks);
    QTest::qWait(20);
    QCOMPARE(controller->lastExportOutcome(), KVMasterExport::Outcome::Written);
    int rate = 0;
    const Channels exported = readSound(target, &rate), original = readSound(sound);
    QCOMPARE(rate, 44100);
    QCOMPARE(FrameCount(exported[0].size()), frames);
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < exported[c].size(); ++i)
            QVERIFY2(std::abs(exported[c][i] - original[c][i]) <= 2 * kLevelStep, qPrintable(QString::number(i)));
    const auto found = riffChunks(target);
    QVERIFY(found.count("bext") && found.count("iXML"));
    QCOMPARE(found.at("bext").substr(0, kBext.size()), kBext);
    QCOMPARE(found.at("iXML").substr(0, kIxml.size()), kIxml);
    QCOMPARE(found.at("data").size(), std::size_t(frames * 2 * 3));
    QVERIFY(scope.platform().alertLog().empty());
}

// A folder without write permission; when the tests run as root, which writes anywhere, /proc.
void MasterTabTest::exportIntoAnUnwritableFolderShowsTheErrorAndLeavesNothing() {
    QtPlatformScope scope;
    const std::string sound = scope.file("take.wav").toStdString();
    writeWorkingFile(sound, 20000);
    QString locked = "/proc";
    if (geteuid() != 0) {
        locked = scope.file("locked");
        QDir().mkpath(locked);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    const QStringList before = QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    auto controller = KVOutputController::initWithView(nullptr, sound, true);
    QString title;
    answerNextAlert("Okay", &title);
    controller->exportToPath(QDir(locked).filePath("take [edited].wav").toStdString(), {});
    controller->waitForExport();
    QTRY_COMPARE(title, QString("Error creating file"));
    QCOMPARE(controller->lastExportOutcome(), KVMasterExport::Outcome::CannotCreate);
    QVERIFY(!QFileInfo::exists(QDir(locked).filePath("take [edited].wav")));
    QVERIFY(!QFileInfo::exists(QDir(locked).filePath(".take [edited].wav.partial")));
    const auto log = scope.platform().alertLog();
    QCOMPARE(log.size(), std::size_t(1));
    QVERIFY(log[0][1].find("make sure you have permission to write to the folder") != std::string::npos);
    if (locked != "/proc") {
        QCOMPARE(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

// A committed edit (a loud record) is dropped by Yes and kept by Cancel; after Yes the master
// reads as the working file again.
void MasterTabTest::resetAskedYesRebuildsCancelKeeps() {
    QtPlatformScope scope;
    const std::string sound = scope.file("take.wav").toStdString();
    writeWorkingFile(sound, 44100);
    auto controller = KVOutputController::initWithView(nullptr, sound, true);
    controller->waitForPrefill();
    KVEncodedGrain loud{};
    {
        const std::vector<float> grain(KVGrainCollection::kGrainSize, 0.9f);
        loud.encode(grain.data());
        std::lock_guard<std::recursive_mutex> guard(controller->monitor());
        controller->leftMasterCollection()->writeRecord(loud, 100);
    }
    const auto peakNearRecord100 = [&] {
        controller->setPlayPosition(100 * 128 - 2000);
        std::vector<float> left(4096), right(4096);
        float* buffers[2] = {left.data(), right.data()};
        controller->readPlayFrames(4096, buffers);
        float peak = 0;
        for (float v : left) peak = std::max(peak, std::abs(v));
        return peak;
    };
    QVERIFY(peakNearRecord100() > 0.9f);
    answerNextAlert("Cancel");
    if (KVExportPanels::confirmResetMaster()) controller->resetMasterFile();
    QVERIFY(peakNearRecord100() > 0.9f);
    QString title;
    answerNextAlert("Yes", &title);
    if (KVExportPanels::confirmResetMaster()) controller->resetMasterFile();
    QCOMPARE(title, QString("Reset Master Audio File?"));
    controller->waitForPrefill();
    QVERIFY(peakNearRecord100() <= 0.8f + kLevelStep);
}

namespace {
// The document window of sound opened through the File menu's host.
KVEditorWindow* openInHost(WindowDocumentHost& host, const QString& sound) {
    answerNextAlert("Extract");  // the set-up question of a file seen for the first time
    if (!host.openDocument(sound)) return nullptr;
    return host.documents().windowForPath(sound);
}

// Samples of the file at the writer's limits (0.999 and -1).
int samplesAtTheLimits(const std::string& path) {
    int count = 0;
    for (const auto& channel : readSound(path))
        for (float v : channel) count += v >= 0.999f - kLevelStep || v <= -1.0f + kLevelStep;
    return count;
}
}  // namespace

// A record written at 1.5 into the master clips in the export; the window says how many samples
// it clipped. Reset (through the window's button) brings the working file back: no clipping.
void MasterTabTest::windowExportShowsTheSheetAndTheClippedSamplesResetClearsThem() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeWorkingFile(sound.toStdString(), 3 * 44100);
    WindowDocumentHost host;
    KVEditorWindow* window = openInHost(host, sound);
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
    for (const bool loud : {true, false}) {
        QString proposed;
        answerSavePanel(scope.file(""), &proposed);
        host.performOnFrontDocument(DocumentCommand::ExportMaster);
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
            answerNextAlert("Yes", &title);
            QTest::mouseClick(window->button("uiResetMasterFileButton"), Qt::LeftButton);
            QCOMPARE(title, QString("Reset Master Audio File?"));
            master->waitForPrefill();
            QFile::remove(target);  // no question about replacing it
        } else {
            QCOMPARE(clipped, 0);
            QVERIFY(status.isEmpty());
        }
    }
    QVERIFY(scope.platform().alertLog().size() == 2);  // the set-up question and the reset
}

// Cancel in the sheet while the master of a minute of sound is still being prefilled or
// written: the export ends as cancelled, the sheet reads "Idle" and nothing is left.
void MasterTabTest::cancelInTheSheetStopsTheExportAndLeavesNothing() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeWorkingFile(sound.toStdString(), 60 * 44100);
    WindowDocumentHost host;
    KVEditorWindow* window = openInHost(host, sound);
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

// The analysed segment exported from the window's button: the file is revealed once, after it
// was written whole; the finished chime sounds only when the preference asks for it.
void MasterTabTest::segmentExportRevealsTheWrittenFileChimesAsThePreferenceSays() {
    QtPlatformScope scope;
    scope.platform().setRevealsRecordedOnly(true);
    scope.platform().setIntegerForKey("General_PrefsVersion", 1);
    const QString sound = scope.file("take.wav");
    writeWorkingFile(sound.toStdString(), 3 * 44100);
    WindowDocumentHost host;
    KVEditorWindow* window = openInHost(host, sound);
    QVERIFY(window);
    KVWaveDocument* document = host.documents().documentOfWindow(window);
    QTest::mouseClick(window->button("uiAnalyzeSegmentButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!document->isAnalysisRunning() && !document->isBusy(), 600'000);
    const QString target = QDir(scope.file("")).filePath("take [segment].wav");
    const auto chimes = [&] {
        const auto log = scope.platform().soundLog();
        return std::count(log.begin(), log.end(), std::string("finished-new"));
    };
    for (const bool chime : {true, false}) {
        scope.platform().setBoolForKey("General_ChimeWhenDone", chime);
        QFile::remove(target);
        const auto chimesBefore = chimes();
        const std::size_t revealsBefore = scope.platform().revealLog().size();
        QString proposed;
        answerSavePanel(scope.file(""), &proposed);
        QTest::mouseClick(window->button("uiExportSegmentButton"), Qt::LeftButton);
        QTRY_COMPARE(proposed, QString("take [segment].wav"));
        QTRY_VERIFY_WITH_TIMEOUT(!document->isExportingSegment() && !window->progressSheet()->isVisible(), 60000);
        QCOMPARE(document->lastSegmentExportOutcome(), KVExportWriter::Outcome::Written);
        const FrameCount length = std::min<FramePos>(document->segmentEnd(), 3 * 44100) - document->segmentStart();
        QCOMPARE(FrameCount(readSound(target.toStdString())[0].size()), length);
        const auto reveals = scope.platform().revealLog();
        QCOMPARE(reveals.size(), revealsBefore + 1);
        QCOMPARE(QString::fromStdString(reveals.back()), target);
        QTest::qWait(20);  // a chime posted by the export's thread
        QCOMPARE(chimes() - chimesBefore, chime ? 1 : 0);
    }
}

QTEST_MAIN(MasterTabTest)
#include "MasterTabTest.moc"

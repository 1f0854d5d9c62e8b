#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "app/AnalysisTabBridge.h"
#include "document/KVDocumentWindow.h"

namespace orvex {

class KVEditorWindow;
class KVWaveDocument;
class TransportBridge;

// Joins an editor window to its document: shows the document's title, button states, progress
// sheet and free disk space in the window (the document's window interface), hands the
// document the window's input and master overviews, sends the window's controls to the
// document's commands (the transport through a TransportBridge) and runs the exports and the
// master reset with their panels. Lives as long as the window; attach() once the document
// exists. GUI thread only.
class EditorDocumentBridge : public QObject, public KVDocumentWindow {
    Q_OBJECT
public:
    explicit EditorDocumentBridge(KVEditorWindow& window);

    // Connects the controls to document (not owned; detach() before it goes).
    void attach(KVWaveDocument* document);
    void detach();
    KVWaveDocument* document() const { return mDocument; }

    // The master export: the save panel proposing "<name> [edited].wav", then the export with
    // its progress sheet; the file is revealed once written. Beeps while something runs.
    void exportMaster();
    // The same for the analysed segment's selection ("<name> [segment].wav"); beeps without an
    // analysis.
    void exportSegment();
    // The same for the segment's stems over the whole file: the panel's "<name> [stems].wav"
    // names the two stems "<name> [stems]-selection.wav" and "<name> [stems]-rest.wav".
    void exportStems();
    // Asks "Reset Master Audio File?" and resets the master on Yes.
    void resetMaster();

    KVSegmentViewInterface* segmentView() override;
    KVAnalysisViewInterface* analysisView() override;
    AnalysisTabBridge& analysisTab() { return mAnalysisTab; }
    KVOutputViewInterface* outputView() override;
    void setTitle(const std::string& title) override;
    void showCommandState(const KVDocumentCommandState& state) override;
    void beginProcessing(const std::string& text) override;
    void setProgressValue(int percent) override;
    void setFreeDiskSpaceText(const std::string& text) override;
    void exportFinished(const KVExportReport& report) override;

private:
    void connectCommands();
    void connectTableButtons();
    void setChecked(const char* outlet, bool on);
    bool refusedWhileBusy() const;
    QString askForAnalysisExportPath(QString (*ask)(QWidget*, const QString&));

    KVEditorWindow& mWindow;
    TransportBridge* mTransport;
    KVWaveDocument* mDocument = nullptr;
    QTimer mDiskSpaceTimer;
    AnalysisTabBridge mAnalysisTab;
};

}  // namespace orvex

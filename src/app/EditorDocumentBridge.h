#pragma once

#include <QObject>
#include <QTimer>

#include "app/AnalysisTabBridge.h"
#include "document/KVDocumentWindow.h"

namespace orvex {

class KVEditorWindow;
class KVWaveDocument;

// Joins an editor window to its document: shows the document's title, button states, progress
// and free disk space in the window (the document's window interface), sends the window's
// controls to the document's commands, and moves the input view's play cursor at the view's
// cursor rate while playing. Lives as long as the window; attach() once the document exists.
// GUI thread only.
class EditorDocumentBridge : public QObject, public KVDocumentWindow {
    Q_OBJECT
public:
    explicit EditorDocumentBridge(KVEditorWindow& window);

    // Connects the controls to document (not owned; detach() before it goes).
    void attach(KVWaveDocument* document);
    void detach();
    KVWaveDocument* document() const { return mDocument; }

    KVSegmentViewInterface* segmentView() override;
    KVAnalysisViewInterface* analysisView() override;
    AnalysisTabBridge& analysisTab() { return mAnalysisTab; }
    void setTitle(const std::string& title) override;
    void showCommandState(const KVDocumentCommandState& state) override;
    void beginProcessing(const std::string& text) override;
    void setProgressValue(int percent) override;
    void setFreeDiskSpaceText(const std::string& text) override;

private:
    void connectTransport();
    void connectInputView();
    void followPlayPosition();
    void setChecked(const char* outlet, bool on);

    KVEditorWindow& mWindow;
    KVWaveDocument* mDocument = nullptr;
    QTimer mCursorTimer;
    QTimer mDiskSpaceTimer;
    AnalysisTabBridge mAnalysisTab;
};

}  // namespace orvex

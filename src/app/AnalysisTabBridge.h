#pragma once

#include <QObject>
#include <QString>

class QTimer;

#include "document/KVDocumentWindow.h"

namespace orvex {

class KVAnalysisView;
class KVEditorWindow;
class KVWaveDocument;

// The analysis editor's side of an editor window: analysing the input view's segment (the
// button and the File menu; Alt, or Meta where the window manager keeps Alt, analyses anew),
// the question when the tab is entered without an analysis, the analysis commands, tools, modes,
// switches, contrast and modification gain sent to the document, the view joined to the
// document's analysis controller, and the Edit menu's Undo kept in step with the selection.
// While an analysis runs, the Analyze button reads "Cancel Analysis" and stops it, as Escape does.
// Owned by the window's EditorDocumentBridge. GUI thread only.
class AnalysisTabBridge : public QObject {
    Q_OBJECT
public:
    explicit AnalysisTabBridge(KVEditorWindow& window, QObject* parent = nullptr);

    // Connects to document (not owned; detach() before it goes).
    void attach(KVWaveDocument* document);
    void detach();

    // The view the document's analysis controller draws into.
    KVAnalysisView* analysisView() const;
    // Analyses the input view's segment (optionHeld: anew even when stored) and shows the
    // analysis tab; false, after a beep or an alert, when it could not start.
    bool analyze(bool optionHeld);
    // The Analyze command of the window in front: the modifiers held now choose the variant.
    static bool analyzeInWindow(KVEditorWindow& window);
    // The tabs switched to tab: the analysis tab without an analysis first asks to analyse (and
    // switches back when refused); then the document hears of the change.
    void tabChanged(int tab);
    // The document's button states as far as the view and the menus show them.
    void showCommandState(const KVDocumentCommandState& state);
    // The window's menu items follow its document's state.
    void refreshMenuStates();

private:
    void connectCommands();
    void connectTools();
    void connectSwitches();
    void connectLevels();
    bool mayEnterWithoutAnalysis();
    void joinViewToController();
    // The Analyze button as Cancel while an analysis runs; checked again until it has ended.
    void showAnalysisRunning(bool running);
    template <typename Command>
    void onClick(const char* outlet, Command command);

    KVEditorWindow& mWindow;
    KVWaveDocument* mDocument = nullptr;
    int mShownTab = 0;
    bool mShownStateKnown = false;
    KVDocumentCommandState mShown;
    QTimer* mAnalysisWatch = nullptr;
    QString mAnalyzeText, mAnalyzeTip;
};

}  // namespace orvex

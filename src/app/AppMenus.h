#pragma once

class QMenuBar;
class QWidget;

namespace orvex {

class AppController;

// Builds the menu bars (File, Edit, Process, Play, View, Window, Help) whose items call the
// application controller, and finds the items validation changes. GUI thread only.
class AppMenus {
public:
    AppMenus() = delete;

    // forDocument false: only the items that need no document (start window).
    static QMenuBar* build(AppController& controller, QWidget* parent, bool forDocument);
    // Undo enabled as given; Redo always disabled.
    static void setUndoState(QMenuBar* bar, bool canUndo);
    // The items that need an analysed segment (Export Stems) enabled as given.
    static void setAnalysisState(QMenuBar* bar, bool hasAnalysis);
};

}  // namespace orvex

#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace orvex {

// The commands of the menus that go to the front document.
enum class DocumentCommand {
    Undo,
    KeepTransients,     // the document's isolate-stochastic command
    DiscardTransients,  // isolate-deterministic
    FillGaps,
    SelectAll,
    ClearSelection,     // select none
    ApplySelection,
    AnalyzeSegment,
    ExportSegment,
    ExportStems,
    ExportMaster,
    RevealInFileManager,
    TogglePlayStop,
    PlayOriginal,
    Stop,
    Forward,
    Rewind,
    Loop,
    ShowInput,
    ShowAnalysis,
    ShowOutput,
    ZoomInTime,  // the analysis view's zoom, which shows the analysis tab first
    ZoomOutTime,
    ZoomInPitch,
    ZoomOutPitch,
    FitToWindow,
};

// What the application controller needs of the open documents: opening a path (with the
// checks and alerts of opening), the windows, the front document's commands. Implemented over
// the list of open documents; the tests use a fake. GUI thread only.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;

    // Opens path in a new document window; false when it was refused (the user was told why).
    virtual bool openDocument(const QString& path) = 0;
    // The open documents' windows, front first.
    virtual QList<QWidget*> documentWindows() const = 0;
    // Whether there is a front document and whether it can undo.
    virtual bool hasFrontDocument() const = 0;
    virtual bool frontDocumentCanUndo() const = 0;
    // Whether the front document has an analysed segment (the stems export needs one).
    virtual bool frontDocumentHasAnalysis() const = 0;
    // Runs command on the front document; nothing without one.
    virtual void performOnFrontDocument(DocumentCommand command) = 0;
};

}  // namespace orvex

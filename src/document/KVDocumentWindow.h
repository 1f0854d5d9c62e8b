#pragma once

#include <string>

#include "common/Result.h"
#include "common/Types.h"
#include "document/KVExportReport.h"
#include "engine/KVDocumentMode.h"
#include "engine/KVToolKinds.h"

namespace orvex {

class KVAnalysisViewInterface;
class KVOutputViewInterface;
class KVSegmentViewInterface;

// The states of the window's buttons and switches, as the document last set them. The window
// redraws its controls from it; nothing here is read back by the document.
struct KVDocumentCommandState {
    bool isPlaying = false;      // play button on, stop button off
    bool playOriginal = false;   // play-original button
    bool loopEnabled = false;
    AnalysisTool tool = AnalysisTool::multiPencil;
    bool snapToGrid = false;
    bool attenuateF0 = false;
    bool attackMode = false;
    bool showOriginal = false;
    bool realtimePreview = false;
    DocumentMode mode = DocumentMode::Modify;
    bool gainControlsEnabled = true;  // the modification gain slider and its field
    bool canUndo = false;
    bool canRedo = false;
    bool busy = false;  // an operation runs; commands other than cancel are refused
    std::string historyNote;  // what the last edit cost the undo history; empty: nothing
};

// What the document needs of its window: the views its controllers draw into, its button
// states, the progress sheet and its status texts. Alerts and the beep go through Platform.
// Threads: the document calls every method on the main thread only; results of workers reach
// it through posted calls first. The window calls the document on the main thread only, too.
// Every method has a default that does nothing, so a window without some part (orvex-cli has no
// window at all) leaves it out.
class KVDocumentWindow {
public:
    virtual ~KVDocumentWindow() = default;

    // The views the controllers draw into; null when the window shows none. Asked once, while
    // the document opens (the analysis view each time a segment is analysed). They must outlive
    // the document's controllers, that is, the document.
    virtual KVSegmentViewInterface* segmentView() { return nullptr; }
    virtual KVOutputViewInterface* outputView() { return nullptr; }
    virtual KVAnalysisViewInterface* analysisView() { return nullptr; }

    // The window's title: the working file's name without its extension.
    virtual void setTitle(const std::string& title) { (void)title; }
    virtual void showCommandState(const KVDocumentCommandState& state) { (void)state; }
    // The progress sheet: shown with its text at 0 %, then percent values; -1 ends it ("Idle").
    virtual void beginProcessing(const std::string& text) { (void)text; }
    virtual void setProgressValue(int percent) { (void)percent; }
    // "%4.2f GB" of the working file's volume, or "-- GB".
    virtual void setFreeDiskSpaceText(const std::string& text) { (void)text; }
    // The play position moved (the cursors of the views are already told through their
    // controllers).
    virtual void playPositionChanged(FramePos frame) { (void)frame; }
    // An export (of the segment, its stems or the master) has ended; the document has shown its
    // failure, if any, by then.
    virtual void exportFinished(const KVExportReport& report) { (void)report; }
    // The mode to set a file up for the first time it is opened; the default asks with the
    // "Auto setup document?" alert: Modify (default), Extract, Suppress.
    virtual DocumentMode askForInitialMode();
};

}  // namespace orvex

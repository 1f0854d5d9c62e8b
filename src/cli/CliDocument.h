#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "CliAnalysisView.h"
#include "common/Types.h"
#include "document/KVDocumentWindow.h"
#include "document/KVOpenDocuments.h"

namespace orvex {
class KVAnalysisController;
class KVOutputController;
class KVWaveDocument;
}  // namespace orvex

namespace orvex::cli {

class CliProgress;

// The window of a document opened for one command: no views but the analysis stub, progress
// on standard error, and Modify for a file never set up (nothing is asked).
class CliWindow : public KVDocumentWindow {
public:
    KVAnalysisViewInterface* analysisView() override { return &mView; }
    void setProgressValue(int percent) override;
    DocumentMode askForInitialMode() override { return DocumentMode::Modify; }
    // Where progress values go meanwhile (null: nowhere).
    void setProgress(CliProgress* progress) { mProgress = progress; }

private:
    CliAnalysisView mView;
    CliProgress* mProgress = nullptr;
};

// A sound file opened as a document for one command, with the command line's words for its
// arguments and its failures: each failure prints one line on standard error
// (CliCommand::fail) and returns false or null. The work itself is the document's; this class
// waits for its workers by pumping the headless platform's main queue. The document holds the
// analysis folder's lock, so a second orvex-cli (or the desktop) on the same file is refused
// with an "in use" line. Main thread.
class CliDocument {
public:
    static std::unique_ptr<CliDocument> open(const std::string& file);
    ~CliDocument();
    CliDocument(const CliDocument&) = delete;
    CliDocument& operator=(const CliDocument&) = delete;

    const std::string& workingPath() const;
    FramePos segmentStart() const;
    FramePos segmentEnd() const;
    // An output path the command may write (CliGuards::outputAllowed for this document's files).
    bool outputAllowed(const std::string& path, bool isWave) const;
    // The segment for start/end in seconds after the segment rules; without either, the
    // stored analysis range, else the file from its start.
    bool resolveSegment(std::optional<double> startSeconds, std::optional<double> endSeconds, FramePos& start,
                        FramePos& end) const;
    // Analyses start..end (reusing a stored analysis of that range unless forced) and waits
    // for the runner, with a progress bar.
    bool analyse(FramePos start, FramePos end, bool force);
    // The stored analysis range reopened; refused when the stored analysis or selection is
    // missing, incomplete or cut short.
    bool openStoredAnalysis();
    KVAnalysisController& controller() const;
    // Runs a controller command and waits until its worker has finished.
    bool runAndWait(const std::function<void(KVAnalysisController&)>& command);
    // Undoes (or, forward, redoes) steps steps of the selection's history.
    bool walkHistory(bool forward, int steps);
    // Applies (and stores) the mode of that name: extract, suppress or modify.
    bool applyMode(const std::string& name);

    // Writes the rendered selection into the master at the segment's position.
    bool commitEditToMaster();
    // Exports the rendered selection (exactly the segment's frames) to path.
    bool exportSegment(const std::string& path);
    // Exports the stems of the segment over the whole file to output's stem names
    // (KVStemsExporter::pathsFor); a clipping selection and a rest that cannot be stored exactly
    // are each a warning line.
    bool exportStems(const std::string& output);
    // Exports the whole master to path once its prefill has finished.
    bool exportMaster(const std::string& path);
    bool resetMaster();

private:
    CliDocument() = default;
    bool waitForPrefill();
    // Starts a segment or stems export with start, shows its progress and waits for it; failure
    // is the line for an export that did not run or write.
    bool runExport(const std::function<Result()>& start, const std::string& failure);
    KVOutputController* output();
    // The master, refused with its reason while it is damaged (only a reset may open it then).
    KVOutputController* undamagedOutput();
    void waitUntilIdle();

    CliWindow mWindow;
    KVOpenDocuments mDocuments;
    KVWaveDocument* mDocument = nullptr;
    // An analysis folder this run made is removed again unless an analysis or the master used it.
    bool mFolderUsed = false;
};

}  // namespace orvex::cli

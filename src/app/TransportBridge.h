#pragma once

#include <QObject>
#include <QTimer>

namespace orvex {

class KVEditorWindow;
class KVWaveDocument;

// The transport of an editor window on its document, the same on every tab (the document
// plays the input selection, the analysis or the master by the selected tab): play, play
// original, stop, rewind and forward by a quarter second, loop, the playback volume slider in
// decibels, and Space and double clicks in the input and master overviews (the tab switches and
// the modification gain belong to the analysis tab's bridge). While attached, a cursor timer at 40 Hz hands the playback's
// position to the document, which moves the play cursor of each view.
// Threads: GUI thread only; the position it reads is the playback's atomic.
class TransportBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int kCursorIntervalMs = 25;

    TransportBridge(KVEditorWindow& window, QObject* parent);

    // Connects the controls to document (not owned; detach() before it goes).
    void attach(KVWaveDocument* document);
    void detach();

private:
    void connectButtons();
    void connectLevels();
    void connectViews();
    void followPlayPosition();

    KVEditorWindow& mWindow;
    KVWaveDocument* mDocument = nullptr;
    QTimer mCursorTimer;
};

}  // namespace orvex

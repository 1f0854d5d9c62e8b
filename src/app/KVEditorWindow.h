#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMap>

class QAbstractButton;
class QDoubleSpinBox;
class QSlider;
class QTabWidget;

namespace orvex {

class KVAnalysisView;
class KVOutputFileView;
class KVProgressSheet;
class KVProgressSubview;
class KVWaveSegmentView;

// The editor window of one document: the tool and mode controls above three tabs (input
// overview, analysis editor, master output), the transport, level and command controls and the
// free disk space below, and the progress sheet (window-modal) shown while something runs. Controls are found by
// their outlet names (uiPlayButton, uiLoopButton, ...) and carry their label or tooltip as
// accessible name.
// GUI thread only.
class KVEditorWindow : public QMainWindow {
    Q_OBJECT
public:
    enum Tab { kInputTab = 0, kAnalysisTab = 1, kOutputTab = 2 };

    explicit KVEditorWindow(QWidget* parent = nullptr);

    QWidget* tabView(int index) const;
    QTabWidget* tabs() const { return mTabs; }
    static QString tabTitle(int index);

    KVWaveSegmentView* segmentView() const { return mSegmentView; }
    // The analysis editor's picture (inside the analysis tab's scroll area).
    KVAnalysisView* analysisView() const { return mAnalysisView; }
    KVOutputFileView* outputView() const { return mOutputView; }
    // The button or switch with outlet name name (null if there is none).
    QAbstractButton* button(const QString& name) const { return mButtons.value(name); }
    QSlider* volumeSlider() const { return mVolumeSlider; }
    QLabel* volumeText() const { return mVolumeText; }
    QSlider* modifyGainSlider() const { return mModifyGainSlider; }
    // The analysis view's display contrast in decibels (sliderDecibels of its value).
    QSlider* contrastSlider() const { return mContrastSlider; }
    QLabel* freeDiskSpaceLabel() const { return mFreeDiskSpace; }
    // Says when an edit dropped the oldest levels of undo; hidden otherwise.
    QLabel* historyNoteLabel() const { return mHistoryNote; }
    // The progress sheet, and its progress box (text and percent) and Cancel button.
    KVProgressSheet* progressSheet() const { return mProgressSheet; }
    KVProgressSubview* progressBox() const;
    QAbstractButton* cancelButton() const { return button("uiCancelProcessingButton"); }

    // While held, a request to close (from the user or the application) waits until release();
    // the document being opened needs the window until it is ready.
    void holdOpen() { mHeld = true; }
    void release();

    // The playback volume shown as "%1.2f dB".
    static QString decibelText(double decibels);
    // The decibels of a level slider's value, and the value showing given decibels.
    static double sliderDecibels(int value);
    static int sliderValue(double decibels);

signals:
    // A file was dropped on the window.
    void fileDropped(const QString& path);
    // The window is closing (it deletes itself afterwards).
    void closing();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildToolBar();
    QWidget* buildInputTab();
    QWidget* buildAnalysisTab();
    void connectAnalysisSwitches();
    QWidget* buildOutputTab();
    QWidget* buildTransport();
    QWidget* buildCommands();
    QAbstractButton* addButton(const QString& outlet, const QString& label, const QString& tip, bool checkable);

    QTabWidget* mTabs;
    KVWaveSegmentView* mSegmentView = nullptr;
    KVAnalysisView* mAnalysisView = nullptr;
    KVOutputFileView* mOutputView = nullptr;
    QMap<QString, QAbstractButton*> mButtons;
    QSlider* mVolumeSlider = nullptr;
    QLabel* mVolumeText = nullptr;
    QSlider* mModifyGainSlider = nullptr;
    QLabel* mModifyGainText = nullptr;
    QSlider* mContrastSlider = nullptr;
    QLabel* mFreeDiskSpace = nullptr;
    QLabel* mHistoryNote = nullptr;
    KVProgressSheet* mProgressSheet = nullptr;
    bool mHeld = false;
    bool mCloseRequested = false;
};

}  // namespace orvex

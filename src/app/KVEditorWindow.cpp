#include "app/KVEditorWindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMimeData>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "app/KVProgressSheet.h"
#include "application/PreferencesModel.h"
#include "views/AnalysisScrollArea.h"
#include "views/KVAnalysisView.h"
#include "views/KVOutputFileView.h"
#include "views/KVProgressSubview.h"
#include "views/KVWaveSegmentView.h"
#include "views/ThemedButton.h"

namespace orvex {

namespace {
struct ControlText {
    const char* outlet;
    const char* label;
    const char* tip;
};

// Tools of the analysis editor, one of them on at a time.
const ControlText kTools[] = {
    {"uiMultiPencilButton", "Multi Pencil", "Select a fundamental with its harmonics"},
    {"uiSinglePencilButton", "Pencil", "Select one partial"},
    {"uiF1PencilButton", "F1 Pencil", "Select the fundamental only"},
    {"uiBoxButton", "Box", "Select everything in a box"},
    {"uiMagicBoxButton", "Magic Box", "Replace a box by its surroundings"},
    {"uiDenoiseBoxButton", "Denoise Box", "Remove the noise in a box"},
    {"uiBgBoxButton", "Background Box", "Select the background in a box"},
    {"uiGapFillerBoxButton", "Gap Filler Box", "Fill the gaps in a box"},
    {"uiDeselectBoxButton", "Deselect Box", "Deselect everything in a box"},
};
// The switches and the gain that the selection does not read yet are shown, so that the window
// keeps its familiar layout, but disabled, saying why.
constexpr const char* kNotUsedYet = "Not available yet: the pencils and commands do not use this setting";
const ControlText kSwitches[] = {
    {"uiSnapToGridButton", "Snap to Grid", "Snap pencil paths to the pitch grid"},
    {"uiAttenuateF0Button", "Attenuate F0", kNotUsedYet},
    {"uiAttackModeButton", "Attack Mode", kNotUsedYet},
    {"uiShowOriginalButton", "Show Original", "Show the original analysis under the selection"},
    {"uiRealtimePreRenderButton", "Real-time Preview", "Hear the frame under the mouse"},
    {"uiDisplayTracksButton", "Display Tracks", "Show the harmonic tracks"},
};
const ControlText kModes[] = {
    {"uiExtractButton", "Extract", "Set the document up for extraction"},
    {"uiSuppressButton", "Suppress", "Set the document up for suppression"},
    {"uiModifyButton", "Modify", "Set the document up for modification"},
};
// Commands of the analysis editor, in its own row under the picture.
const ControlText kAnalysisCommands[] = {
    {"uiIsolateDeterministicButton", "Keep Sustained", "Keep only the sustained part of the selection"},
    {"uiIsolateStochasticButton", "Keep Transients", "Keep only the transients of the selection"},
    {"uiSelectAllButton", "Select All", "Select everything in the segment"},
    {"uiSelectNoneButton", "Select None", "Clear the selection"},
    {"uiUndoButton", "Undo", "Undo the last change of the selection"},
};
const ControlText kTransport[] = {
    {"uiRewindButton", "Rewind", "Back to the start"},
    {"uiPlayButton", "Play", "Play the selected segment (Space)"},
    {"uiPlayOriginalButton", "Play Original", "Play the original sound"},
    {"uiStopButton", "Stop", "Stop playing"},
    {"uiForwardButton", "Forward", "Forward to the end"},
    {"uiLoopButton", "Loop", "Play in a loop"},
};
const ControlText kCommands[] = {
    {"uiAnalyzeSegmentButton", "Analyze Selection", "Analyse the selected segment"},
    {"uiApplySelectionButton", "Apply Selection", "Make the selection the new analysis"},
    {"uiFillGapsButton", "Fill Gaps", "Fill the gaps of the selection"},
    {"uiSaveEditedSegmentButton", "Save Edited Segment", "Write the edited segment into the master output"},
    {"uiExportSegmentButton", "Export Segment", "Export the edited segment as a WAVE file"},
    {"uiExportAudioButton", "Export Audio File", "Export the master output as a WAVE file"},
    {"uiRevealFileButton", "Reveal", "Show the sound file in the file manager"},
};
constexpr int kVolumeMinDb = -60, kVolumeMaxDb = 12;
// The level sliders count hundredths of a decibel, so that any value the field shows ("-6.02 dB")
// can be set; the arrow keys still move by whole decibels.
constexpr int kSliderStepsPerDb = 100;
constexpr int kContrastMinDb = -24, kContrastMaxDb = 24;

void setUpLevelSlider(QSlider* slider) {
    slider->setRange(kVolumeMinDb * kSliderStepsPerDb, kVolumeMaxDb * kSliderStepsPerDb);
    slider->setSingleStep(kSliderStepsPerDb);
    slider->setPageStep(6 * kSliderStepsPerDb);
    slider->setValue(0);
}
}  // namespace

KVEditorWindow::KVEditorWindow(QWidget* parent) : QMainWindow(parent), mTabs(new QTabWidget) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    mTabs->setAccessibleName("Document tabs");
    mTabs->addTab(buildInputTab(), tabTitle(kInputTab));
    mTabs->addTab(buildAnalysisTab(), tabTitle(kAnalysisTab));
    mTabs->addTab(buildOutputTab(), tabTitle(kOutputTab));
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildToolBar());
    layout->addWidget(mTabs, 1);
    layout->addWidget(buildTransport());
    layout->addWidget(buildCommands());
    setCentralWidget(central);
    connectAnalysisSwitches();
    resize(1200, 700);
}

QString KVEditorWindow::tabTitle(int index) {
    switch (index) {
        case kInputTab: return "Input Overview";
        case kAnalysisTab: return "Analysis Editor";
        default: return "Master Output";
    }
}

QString KVEditorWindow::decibelText(double decibels) { return QString::asprintf("%1.2f dB", decibels); }

double KVEditorWindow::sliderDecibels(int value) { return static_cast<double>(value) / kSliderStepsPerDb; }

int KVEditorWindow::sliderValue(double decibels) { return static_cast<int>(std::lround(decibels * kSliderStepsPerDb)); }

QAbstractButton* KVEditorWindow::addButton(const QString& outlet, const QString& label, const QString& tip,
                                           bool checkable) {
    auto* button = new ThemedButton(label);
    button->setObjectName(outlet);
    button->setToolTip(tip);
    button->setCheckable(checkable);
    button->setFocusPolicy(Qt::NoFocus);  // Space belongs to the views
    mButtons.insert(outlet, button);
    return button;
}

QWidget* KVEditorWindow::buildToolBar() {
    auto* bar = new QWidget;
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    auto* switches = new QHBoxLayout;
    rows->addLayout(row);
    rows->addLayout(switches);
    auto* tools = new QButtonGroup(bar);
    for (const ControlText& t : kTools) {
        QAbstractButton* b = addButton(t.outlet, t.label, t.tip, true);
        tools->addButton(b);
        row->addWidget(b);
    }
    row->addSpacing(12);
    auto* modes = new QButtonGroup(bar);
    for (const ControlText& t : kModes) {
        QAbstractButton* b = addButton(t.outlet, t.label, t.tip, true);
        modes->addButton(b);
        row->addWidget(b);
    }
    row->addSpacing(12);
    for (const ControlText& t : kSwitches) {
        QAbstractButton* b = addButton(t.outlet, t.label, t.tip, true);
        b->setEnabled(t.tip != kNotUsedYet);
        switches->addWidget(b);
    }
    row->addStretch(1);
    switches->addStretch(1);
    return bar;
}

// The picture in its scroll area above the analysis commands and the display contrast.
QWidget* KVEditorWindow::buildAnalysisTab() {
    auto* tab = new QWidget;
    tab->setAccessibleName(tabTitle(kAnalysisTab));
    auto* column = new QVBoxLayout(tab);
    column->setContentsMargins(0, 0, 0, 0);
    auto* area = new AnalysisScrollArea;
    // Room for a picture worth editing: the window does not shrink below it.
    area->setMinimumSize(480, 240);
    mAnalysisView = area->view();
    mAnalysisView->setA4Tuning(PreferencesModel().values().a4Tuning);
    column->addWidget(area, 1);
    auto* row = new QHBoxLayout;
    for (const ControlText& t : kAnalysisCommands) row->addWidget(addButton(t.outlet, t.label, t.tip, false));
    row->addSpacing(12);
    mContrastSlider = new QSlider(Qt::Horizontal);
    mContrastSlider->setObjectName("uiDisplayContrastSlider");
    mContrastSlider->setRange(kContrastMinDb * kSliderStepsPerDb, kContrastMaxDb * kSliderStepsPerDb);
    mContrastSlider->setSingleStep(kSliderStepsPerDb);
    mContrastSlider->setValue(0);
    mContrastSlider->setToolTip("Display contrast");
    mContrastSlider->setAccessibleName("Display contrast");
    auto* contrastText = new QLabel("Contrast");
    contrastText->setAccessibleName("Contrast");
    row->addWidget(contrastText);
    row->addWidget(mContrastSlider);
    row->addStretch(1);
    column->addLayout(row);
    return tab;
}

// The switches that only the analysis view takes: the preview button latches its real-time
// preview (the view tells its controller), the tracks button picks the harmonic columns.
void KVEditorWindow::connectAnalysisSwitches() {
    connect(button("uiRealtimePreRenderButton"), &QAbstractButton::toggled, mAnalysisView,
            &KVAnalysisView::setRealtimePreview);
    connect(button("uiDisplayTracksButton"), &QAbstractButton::toggled, mAnalysisView,
            &KVAnalysisView::setDisplayTracks);
}

QWidget* KVEditorWindow::buildInputTab() {
    auto* tab = new QWidget;
    tab->setAccessibleName(tabTitle(kInputTab));
    auto* column = new QVBoxLayout(tab);
    mSegmentView = new KVWaveSegmentView;
    column->addWidget(mSegmentView, 1);
    auto* row = new QHBoxLayout;
    QAbstractButton* previous = addButton("uiPreviousSegmentButton", "Previous Segment", "Select the segment before", false);
    QAbstractButton* next = addButton("uiNextSegmentButton", "Next Segment", "Select the segment after", false);
    QAbstractButton* analysed = addButton("uiSelectAnalysisRangeButton", "Select Analysed Range",
                                          "Select the range analysed last", false);
    connect(previous, &QAbstractButton::clicked, mSegmentView, &KVWaveSegmentView::selectPreviousSegment);
    connect(next, &QAbstractButton::clicked, mSegmentView, &KVWaveSegmentView::selectNextSegment);
    connect(analysed, &QAbstractButton::clicked, mSegmentView, &KVWaveSegmentView::selectAnalysisRange);
    for (QAbstractButton* b : {previous, next, analysed}) row->addWidget(b);
    row->addStretch(1);
    column->addLayout(row);
    return tab;
}

QWidget* KVEditorWindow::buildOutputTab() {
    auto* tab = new QWidget;
    tab->setAccessibleName(tabTitle(kOutputTab));
    auto* column = new QVBoxLayout(tab);
    mOutputView = new KVOutputFileView;
    column->addWidget(mOutputView, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(addButton("uiResetMasterFileButton", "Reset Master File", "Undo every edit written into the master", false));
    row->addStretch(1);
    column->addLayout(row);
    return tab;
}

QWidget* KVEditorWindow::buildTransport() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    for (const ControlText& t : kTransport) {
        const bool checkable = QString(t.outlet) != "uiRewindButton" && QString(t.outlet) != "uiForwardButton";
        row->addWidget(addButton(t.outlet, t.label, t.tip, checkable));
    }
    button("uiStopButton")->setChecked(true);
    mVolumeSlider = new QSlider(Qt::Horizontal);
    mVolumeSlider->setObjectName("uiPlaybackVolumeSlider");
    setUpLevelSlider(mVolumeSlider);
    mVolumeSlider->setToolTip("Playback volume");
    mVolumeSlider->setAccessibleName("Playback volume");
    mVolumeText = new QLabel(decibelText(0));
    mVolumeText->setObjectName("uiPlaybackVolumeTextField");
    mVolumeText->setAccessibleName("Playback volume in dB");
    connect(mVolumeSlider, &QSlider::valueChanged, this,
            [this](int value) { mVolumeText->setText(decibelText(sliderDecibels(value))); });
    row->addSpacing(12);
    row->addWidget(mVolumeSlider);
    row->addWidget(mVolumeText);
    mModifyGainSlider = new QSlider(Qt::Horizontal);
    mModifyGainSlider->setObjectName("uiModifyGainSlider");
    setUpLevelSlider(mModifyGainSlider);
    mModifyGainSlider->setToolTip(QString("Modification gain. ") + kNotUsedYet);
    mModifyGainSlider->setAccessibleName(mModifyGainSlider->toolTip());
    mModifyGainSlider->setEnabled(false);
    mModifyGainText = new QLabel(decibelText(0));
    mModifyGainText->setObjectName("uiModifyGainTextField");
    mModifyGainText->setAccessibleName("Modification gain in dB");
    connect(mModifyGainSlider, &QSlider::valueChanged, this,
            [this](int value) { mModifyGainText->setText(decibelText(sliderDecibels(value))); });
    row->addWidget(mModifyGainSlider);
    row->addWidget(mModifyGainText);
    // Wide enough for the longest value, so that the text never shifts or loses its unit.
    for (QLabel* text : {mVolumeText, mModifyGainText})
        text->setMinimumWidth(text->fontMetrics().horizontalAdvance(decibelText(-99.99)) + 4);
    row->addStretch(1);
    return bar;
}

QWidget* KVEditorWindow::buildCommands() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    for (const ControlText& t : kCommands) row->addWidget(addButton(t.outlet, t.label, t.tip, false));
    mProgressSheet = new KVProgressSheet(this);
    mButtons.insert("uiCancelProcessingButton", mProgressSheet->cancelButton());
    row->addStretch(1);
    mHistoryNote = new QLabel;
    mHistoryNote->setObjectName("uiHistoryNote");
    mHistoryNote->setAccessibleName("Undo history");
    mHistoryNote->hide();
    row->addWidget(mHistoryNote);
    mFreeDiskSpace = new QLabel("-- GB");
    mFreeDiskSpace->setObjectName("uiFreeDiskSpace");
    mFreeDiskSpace->setToolTip("Free disk space");
    mFreeDiskSpace->setAccessibleName("Free disk space");
    row->addWidget(mFreeDiskSpace);
    return bar;
}

KVProgressSubview* KVEditorWindow::progressBox() const { return mProgressSheet->box(); }

QWidget* KVEditorWindow::tabView(int index) const { return mTabs->widget(index); }

void KVEditorWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void KVEditorWindow::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) emit fileDropped(url.toLocalFile());
    event->acceptProposedAction();
}

void KVEditorWindow::release() {
    mHeld = false;
    if (mCloseRequested) close();
}

void KVEditorWindow::closeEvent(QCloseEvent* event) {
    if (mHeld) {
        mCloseRequested = true;
        event->ignore();
        return;
    }
    emit closing();
    event->accept();
}

}  // namespace orvex

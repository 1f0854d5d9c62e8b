#include "app/AnalysisTabBridge.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include <cmath>
#include <utility>

#include "app/AppMenus.h"
#include "app/KVEditorWindow.h"
#include "document/KVWaveDocument.h"
#include "engine/KVAnalysisController.h"
#include "platform/Platform.h"
#include "utilities/KVUtilities.h"
#include "views/KVAnalysisView.h"
#include "views/KVWaveSegmentView.h"

namespace orvex {

namespace {

const std::pair<const char*, AnalysisTool> kToolButtons[] = {
    {"uiMultiPencilButton", AnalysisTool::multiPencil},   {"uiSinglePencilButton", AnalysisTool::singlePencil},
    {"uiF1PencilButton", AnalysisTool::f1Pencil},         {"uiBoxButton", AnalysisTool::box},
    {"uiDenoiseBoxButton", AnalysisTool::denoiseBox},     {"uiBgBoxButton", AnalysisTool::backgroundBox},
    {"uiGapFillerBoxButton", AnalysisTool::gapFillerBox}, {"uiMagicBoxButton", AnalysisTool::magicBox},
    {"uiDeselectBoxButton", AnalysisTool::deselectBox},
};
const std::pair<const char*, DocumentMode> kModeButtons[] = {
    {"uiExtractButton", DocumentMode::Extract},
    {"uiSuppressButton", DocumentMode::Suppress},
    {"uiModifyButton", DocumentMode::Modify},
};

const char* const kEnterQuestionTitle = "Perform extraction/suppression on currently selected segment?";
const char* const kEnterQuestionMessage =
    "The analysis editor will become available once you have analyzed a segment of your input file. To do this, "
    "select the portion of the file that you wish to edit in the input overview and press the \"Analyze "
    "Selection\" button in the main window. You can also choose \"Analyze\" now.\n\nNOTE: If you already have "
    "existing analysis data for this segment this data will be loaded from file and the segment's editing state "
    "will also be restored.\n\nDo you wish to load/analyze the currently selected segment now?";

// Alt asks for a fresh analysis; Meta too, since many window managers keep Alt+click for moving
// windows.
bool optionHeldNow() {
    const Qt::KeyboardModifiers held = QGuiApplication::keyboardModifiers();
    return held.testFlag(Qt::AltModifier) || held.testFlag(Qt::MetaModifier);
}

double linearOfDecibels(double decibels) { return std::pow(10.0, decibels * 0.05); }

}  // namespace

namespace {
const QString kCancelAnalysisText = QStringLiteral("Cancel Analysis");
constexpr int kAnalysisWatchMilliseconds = 200;
}  // namespace

AnalysisTabBridge::AnalysisTabBridge(KVEditorWindow& window, QObject* parent)
    : QObject(parent), mWindow(window), mAnalysisWatch(new QTimer(this)) {
    QAbstractButton* analyzeButton = mWindow.button("uiAnalyzeSegmentButton");
    mAnalyzeText = analyzeButton->text();
    mAnalyzeTip = analyzeButton->toolTip();
    mAnalysisWatch->setInterval(kAnalysisWatchMilliseconds);
    connect(mAnalysisWatch, &QTimer::timeout, this, [this] {
        if (!mDocument || !mDocument->isAnalysisRunning()) showAnalysisRunning(false);
    });
}

KVAnalysisView* AnalysisTabBridge::analysisView() const { return mWindow.analysisView(); }

void AnalysisTabBridge::attach(KVWaveDocument* document) {
    mDocument = document;
    mShownTab = mWindow.tabs()->currentIndex();
    connectCommands();
    connectTools();
    connectSwitches();
    connectLevels();
    connect(analysisView(), &KVAnalysisView::gestureReported, this, &AnalysisTabBridge::refreshMenuStates);
}

void AnalysisTabBridge::detach() {
    if (KVAnalysisView* view = analysisView()) view->setDelegate({});
    mDocument = nullptr;
    showAnalysisRunning(false);
}

void AnalysisTabBridge::showAnalysisRunning(bool running) {
    QAbstractButton* button = mWindow.button("uiAnalyzeSegmentButton");
    const QString& text = running ? kCancelAnalysisText : mAnalyzeText;
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolTip(running ? QStringLiteral("Stop the analysis (Escape); what is analysed so far stays")
                               : mAnalyzeTip);
    running ? mAnalysisWatch->start() : mAnalysisWatch->stop();
}

// Each control runs its command only while a document is attached; the menu states follow.
template <typename Command>
void AnalysisTabBridge::onClick(const char* outlet, Command command) {
    connect(mWindow.button(outlet), &QAbstractButton::clicked, this, [this, command](bool checked) {
        if (!mDocument) return;
        command(*mDocument, checked);
        refreshMenuStates();
    });
}

void AnalysisTabBridge::connectCommands() {
    connect(mWindow.button("uiAnalyzeSegmentButton"), &QAbstractButton::clicked, this, [this] {
        if (mDocument && mDocument->isAnalysisRunning())
            mDocument->cancelAnalysis();
        else
            analyze(optionHeldNow());
    });
}

// Tools and modes reach the view through the document's button states (showCommandState).
void AnalysisTabBridge::connectTools() {
    for (const auto& [outlet, tool] : kToolButtons)
        onClick(outlet, [tool = tool](KVWaveDocument& d, bool) { d.setTool(tool); });
    for (const auto& [outlet, mode] : kModeButtons)
        onClick(outlet, [mode = mode](KVWaveDocument& d, bool) { d.setDocumentMode(mode); });
}

// The preview and tracks buttons reach the view through the window itself.
void AnalysisTabBridge::connectSwitches() {
    onClick("uiSnapToGridButton", [](KVWaveDocument& d, bool on) { d.setSnapToGrid(on); });
    onClick("uiAttenuateF0Button", [this](KVWaveDocument& d, bool on) {
        d.setAttenuateF0(on);
        analysisView()->setSelectionMode(SelectionMode::Add);
    });
    onClick("uiAttackModeButton", [](KVWaveDocument& d, bool on) { d.setAttackMode(on); });
    onClick("uiShowOriginalButton", [](KVWaveDocument& d, bool on) { d.setShowOriginal(on); });
    onClick("uiRealtimePreRenderButton", [](KVWaveDocument& d, bool on) { d.setRealtimePreview(on); });
}

void AnalysisTabBridge::connectLevels() {
    connect(mWindow.contrastSlider(), &QSlider::valueChanged, this, [this](int value) {
        analysisView()->setContrast(float(linearOfDecibels(KVEditorWindow::sliderDecibels(value))));
    });
    connect(mWindow.modifyGainSlider(), &QSlider::valueChanged, this, [this](int value) {
        if (mDocument) mDocument->setModificationGainDecibels(KVEditorWindow::sliderDecibels(value));
    });
}

bool AnalysisTabBridge::analyzeInWindow(KVEditorWindow& window) {
    auto* bridge = window.findChild<AnalysisTabBridge*>();
    return bridge && bridge->analyze(optionHeldNow());
}

// The edit of the analysis being replaced goes into the master first; when it cannot, the
// analysis stays, so that the edit is not lost.
bool AnalysisTabBridge::analyze(bool optionHeld) {
    KVWaveSegmentView* input = mWindow.segmentView();
    if (!mDocument || !input || mDocument->isBusy()) {
        Platform::shared().beep();
        return false;
    }
    if (!mDocument->commitThenAnalyzeSegment(input->selectionStartFrame(), input->selectionEndFrame(), optionHeld))
        return false;
    joinViewToController();
    mWindow.tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab);
    refreshMenuStates();
    showAnalysisRunning(mDocument->isAnalysisRunning());
    return true;
}

// The view sends its gestures to the new controller and takes the document's tool and modes; a
// latched preview stays latched.
void AnalysisTabBridge::joinViewToController() {
    KVAnalysisView* view = analysisView();
    KVAnalysisController* controller = mDocument->analysisController();
    view->setDelegate(controller->shared_from_this());
    mShownStateKnown = false;
    showCommandState(mDocument->commandState());
    if (view->previewLatched()) view->setRealtimePreview(true);
}

bool AnalysisTabBridge::mayEnterWithoutAnalysis() {
    const PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(mDocument->workingFilePath());
    if (dict.getBool("AnalysisCompleteForSelection")) return true;
    return Platform::shared().runAlert(kEnterQuestionTitle, kEnterQuestionMessage, {"Analyze", "Cancel"}) ==
           AlertButton::Default;
}

void AnalysisTabBridge::tabChanged(int tab) {
    if (!mDocument) return;
    const bool entersEmpty = tab == KVEditorWindow::kAnalysisTab && !mDocument->analysisController();
    if (entersEmpty && !(mayEnterWithoutAnalysis() && analyze(false))) {
        const QSignalBlocker quiet(mWindow.tabs());
        mWindow.tabs()->setCurrentIndex(mShownTab);
        return;
    }
    mShownTab = tab;
    mDocument->tabDidChange(static_cast<PlaySource>(tab));
}

// The view takes the mode, then the tool; either change starts its selection mode over at "add".
void AnalysisTabBridge::showCommandState(const KVDocumentCommandState& state) {
    KVAnalysisView* view = analysisView();
    const bool all = !mShownStateKnown;
    const bool modeChanged = all || state.mode != mShown.mode, toolChanged = all || state.tool != mShown.tool;
    if (modeChanged) view->setDocumentMode(state.mode);
    if (toolChanged) view->setTool(state.tool);
    if (modeChanged || toolChanged) view->setSelectionMode(SelectionMode::Add);
    if (all || state.showOriginal != mShown.showOriginal) view->setShowOriginal(state.showOriginal);
    mShown = state;
    mShownStateKnown = true;
    refreshMenuStates();
}

// The window's menu items follow its own document.
void AnalysisTabBridge::refreshMenuStates() {
    auto* bar = qobject_cast<QMenuBar*>(mWindow.menuWidget());
    if (!bar) return;
    AppMenus::validate(bar, mDocument ? mDocument->commandContext() : CommandContext{});
}

}  // namespace orvex

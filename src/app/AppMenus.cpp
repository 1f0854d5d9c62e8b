#include "app/AppMenus.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <vector>

#include "app/AppController.h"
#include "app/StartWindow.h"

namespace orvex {

namespace {

const char* const kUndoName = "uiUndoMenuItem";
const char* const kRedoName = "uiRedoMenuItem";
const char* const kExportStemsName = "uiExportStemsMenuItem";
// Marks the Window menu's entries of open documents, which are made anew each time it opens.
const char* const kListedWindow = "orvexListedWindow";

struct Item {
    const char* title;  // nullptr: a separator
    QKeySequence key;
    std::function<void(AppController&)> run;
    bool needsDocument = true;
    const char* objectName = nullptr;
};

struct Menu {
    const char* title;
    std::vector<Item> items;
};

std::function<void(AppController&)> forwarding(DocumentCommand command) {
    return [command](AppController& c) { c.forward(command); };
}

Item separator() { return Item{nullptr, {}, {}, false}; }

// Closes the window that has the focus (a document window or the start window).
void closeFrontWindow(AppController&) {
    if (QWidget* window = QApplication::activeWindow()) window->close();
}

void minimizeFrontWindow(AppController&) {
    if (QWidget* window = QApplication::activeWindow()) window->showMinimized();
}

std::vector<Menu> menus() {
    using DC = DocumentCommand;
    return {
        {"&File",
         {{"&Open...", QKeySequence::Open, &AppController::uiOpen, false},
          separator(),
          {"&Analyze Segment", QKeySequence(), forwarding(DC::AnalyzeSegment)},
          {"Export &Segment...", QKeySequence(), forwarding(DC::ExportSegment)},
          {"Export S&tems...", QKeySequence(), forwarding(DC::ExportStems), true, kExportStemsName},
          {"Export &Master...", QKeySequence(QStringLiteral("Ctrl+E")), forwarding(DC::ExportMaster)},
          {"Show in File &Manager", QKeySequence(), forwarding(DC::RevealInFileManager)},
          separator(),
          {"&Close", QKeySequence::Close, &closeFrontWindow, false},
          {"&Quit", QKeySequence::Quit, &AppController::uiQuit, false}}},
        {"&Edit",
         {{"&Undo", QKeySequence::Undo, forwarding(DC::Undo), true, kUndoName},
          {"&Redo", QKeySequence::Redo, [](AppController&) {}, true, kRedoName},
          separator(),
          {"Select &All", QKeySequence::SelectAll, forwarding(DC::SelectAll)},
          {"&Clear Selection", QKeySequence(QStringLiteral("Ctrl+Shift+A")), forwarding(DC::ClearSelection)},
          separator(),
          {"&Preferences...", QKeySequence(QStringLiteral("Ctrl+,")), &AppController::uiPrefs, false}}},
        {"&Process",
         {{"&Keep Transients", QKeySequence(), forwarding(DC::KeepTransients)},
          {"&Discard Transients", QKeySequence(), forwarding(DC::DiscardTransients)},
          {"&Fill Gaps", QKeySequence(), forwarding(DC::FillGaps)},
          separator(),
          {"A&pply Selection", QKeySequence(), forwarding(DC::ApplySelection)}}},
        {"P&lay",
         {{"&Play / Stop", QKeySequence(), forwarding(DC::TogglePlayStop)},
          {"Play &Original", QKeySequence(), forwarding(DC::PlayOriginal)},
          {"&Stop", QKeySequence(), forwarding(DC::Stop)},
          separator(),
          {"&Forward", QKeySequence(QStringLiteral("Ctrl+Right")), forwarding(DC::Forward)},
          {"&Rewind", QKeySequence(QStringLiteral("Ctrl+Left")), forwarding(DC::Rewind)},
          {"&Loop", QKeySequence(QStringLiteral("Ctrl+L")), forwarding(DC::Loop)}}},
        {"&View",
         {{"&Input", QKeySequence(QStringLiteral("Ctrl+1")), forwarding(DC::ShowInput)},
          {"&Analysis", QKeySequence(QStringLiteral("Ctrl+2")), forwarding(DC::ShowAnalysis)},
          {"&Master Output", QKeySequence(QStringLiteral("Ctrl+3")), forwarding(DC::ShowOutput)},
          separator(),
          {"Zoom In &Time", QKeySequence(QStringLiteral("Ctrl+=")), forwarding(DC::ZoomInTime)},
          {"Zoom &Out Time", QKeySequence(QStringLiteral("Ctrl+-")), forwarding(DC::ZoomOutTime)},
          {"Zoom In &Pitch", QKeySequence(QStringLiteral("Ctrl+Alt+=")), forwarding(DC::ZoomInPitch)},
          {"Zoom Out Pitc&h", QKeySequence(QStringLiteral("Ctrl+Alt+-")), forwarding(DC::ZoomOutPitch)},
          {"&Fit Segment", QKeySequence(QStringLiteral("Ctrl+0")), forwarding(DC::FitToWindow)}}},
        {"&Window", {{"&Minimize", QKeySequence(QStringLiteral("Ctrl+M")), &minimizeFrontWindow, false}}},
        {"&Help",
         {{"Orvex &Quick Start", QKeySequence::HelpContents, &AppController::uiOpenQuickStart, false},
          {"&About Orvex", QKeySequence(), &AppController::uiAbout, false}}},
    };
}

void addItem(QMenu* menu, const Item& item, AppController& controller) {
    if (!item.title) {
        menu->addSeparator();
        return;
    }
    QAction* action = menu->addAction(QString::fromUtf8(item.title));
    action->setShortcut(item.key);
    if (item.objectName) action->setObjectName(QString::fromUtf8(item.objectName));
    QObject::connect(action, &QAction::triggered, &controller, [&controller, run = item.run] { run(controller); });
}

// Open Recent on the File menu, filled from the stored list each time it opens.
void addOpenRecent(QMenu* file, AppController& controller) {
    auto* recent = new QMenu(QStringLiteral("Open &Recent"), file);
    QObject::connect(recent, &QMenu::aboutToShow, recent, [recent, &controller] {
        StartWindow::fillRecentMenu(recent, [&controller](const QString& path) { controller.openFile(path); });
    });
    file->insertMenu(file->actions().value(1), recent);
}

// The Window menu lists the open documents under Minimize, the front one checked; choosing one
// brings its window to the front. Filled each time the menu opens.
void addWindowList(QMenu* menu, AppController& controller) {
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, &controller] {
        for (QAction* action : menu->actions())
            if (action->property(kListedWindow).isValid()) {
                menu->removeAction(action);
                action->deleteLater();
            }
        const QList<QWidget*> windows = controller.documentWindows();
        if (!windows.isEmpty()) menu->addSeparator()->setProperty(kListedWindow, true);
        for (QWidget* window : windows) {
            QAction* action = menu->addAction(window->windowTitle());
            action->setProperty(kListedWindow, true);
            action->setCheckable(true);
            action->setChecked(window->isActiveWindow());
            QObject::connect(action, &QAction::triggered, window, [window] {
                if (window->isMinimized()) window->showNormal();
                window->raise();
                window->activateWindow();
            });
        }
    });
}

}  // namespace

QMenuBar* AppMenus::build(AppController& controller, QWidget* parent, bool forDocument) {
    auto* bar = new QMenuBar(parent);
    bar->setAccessibleName(QStringLiteral("Menu bar"));
    for (const Menu& entry : menus()) {
        auto* menu = new QMenu(QString::fromUtf8(entry.title), bar);
        for (const Item& item : entry.items) {
            if (forDocument || !item.needsDocument) addItem(menu, item, controller);
        }
        if (entry.title == std::string("&File")) addOpenRecent(menu, controller);
        if (entry.title == std::string("&Window")) addWindowList(menu, controller);
        const QList<QAction*> actions = menu->actions();
        if (std::all_of(actions.begin(), actions.end(), [](QAction* a) { return a->isSeparator(); })) {
            delete menu;
            continue;
        }
        QObject::connect(menu, &QMenu::aboutToShow, &controller, &AppController::validateMenus);
        bar->addMenu(menu);
    }
    return bar;
}

void AppMenus::setUndoState(QMenuBar* bar, bool canUndo) {
    if (auto* undo = bar->findChild<QAction*>(QString::fromUtf8(kUndoName))) undo->setEnabled(canUndo);
    if (auto* redo = bar->findChild<QAction*>(QString::fromUtf8(kRedoName))) redo->setEnabled(false);
}

void AppMenus::setAnalysisState(QMenuBar* bar, bool hasAnalysis) {
    if (auto* stems = bar->findChild<QAction*>(QString::fromUtf8(kExportStemsName))) stems->setEnabled(hasAnalysis);
}

}  // namespace orvex

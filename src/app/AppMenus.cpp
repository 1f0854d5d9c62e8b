#include "app/AppMenus.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <string_view>

#include "app/AppController.h"
#include "app/StartWindow.h"
#include "document/EditorCommands.h"

namespace orvex {

namespace {

// Marks the Window menu's entries of open documents, which are made anew each time it opens.
const char* const kListedWindow = "orvexListedWindow";
// The property that holds a menu item's command.
const char* const kCommand = "orvexCommand";

QString qt(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

void addItem(QMenu* menu, const EditorCommandRow& row, AppController& controller) {
    if (row.separatorBefore && !menu->isEmpty()) menu->addSeparator();
    QAction* action = menu->addAction(qt(row.title));
    action->setShortcuts(QKeySequence::listFromString(qt(row.shortcut), QKeySequence::PortableText));
    action->setObjectName(QString::fromStdString(EditorCommands::menuItemName(row)));
    action->setProperty(kCommand, int(row.command));
    QObject::connect(action, &QAction::triggered, &controller,
                     [&controller, command = row.command] { controller.perform(command); });
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

// The Window menu's History list: the front document's steps, oldest first, under the state
// before any of them; the current state checked. Choosing one undoes or redoes up to it.
void addHistoryList(QMenu* menu, AppController& controller) {
    auto* history = new QMenu(QStringLiteral("&History"), menu);
    history->setObjectName(QStringLiteral("uiHistoryMenu"));
    history->menuAction()->setObjectName(QStringLiteral("uiHistoryMenuItem"));
    menu->addMenu(history);
    QObject::connect(history, &QMenu::aboutToShow, history, [history, &controller] {
        history->clear();
        const CommandContext context = controller.frontDocumentContext();
        QStringList names{QStringLiteral("Before Any Edit")};
        for (std::size_t i = 0; i < context.history.size(); ++i)
            names << QStringLiteral("%1. %2").arg(i + 1).arg(QString::fromStdString(context.history[i]));
        for (int position = 0; position < names.size(); ++position) {
            QAction* action = history->addAction(names[position]);
            action->setCheckable(true);
            action->setChecked(std::size_t(position) == context.historyPosition);
            action->setEnabled(context.hasAnalysis);
            QObject::connect(action, &QAction::triggered, history,
                             [&controller, position] { controller.walkHistoryTo(std::size_t(position)); });
        }
    });
}

}  // namespace

QMenuBar* AppMenus::build(AppController& controller, QWidget* parent, bool forDocument) {
    auto* bar = new QMenuBar(parent);
    bar->setAccessibleName(QStringLiteral("Menu bar"));
    for (const std::string_view title : EditorCommands::menus()) {
        auto* menu = new QMenu(qt(title), bar);
        for (const EditorCommandRow& row : EditorCommands::all()) {
            if (row.menu == title && (forDocument || row.needs == CommandNeeds::Nothing))
                addItem(menu, row, controller);
        }
        if (menu->isEmpty()) {
            delete menu;
            continue;
        }
        if (title == EditorCommands::menus().front()) addOpenRecent(menu, controller);
        if (title == EditorCommands::row(EditorCommand::Minimize).menu) {
            if (forDocument) addHistoryList(menu, controller);
            addWindowList(menu, controller);
        }
        QObject::connect(menu, &QMenu::aboutToShow, &controller, &AppController::validateMenus);
        bar->addMenu(menu);
    }
    return bar;
}

void AppMenus::validate(QMenuBar* bar, const CommandContext& context) {
    for (QAction* action : bar->findChildren<QAction*>()) {
        const QVariant command = action->property(kCommand);
        if (!command.isValid()) continue;
        const EditorCommandRow& row = EditorCommands::row(EditorCommand(command.toInt()));
        action->setEnabled(EditorCommands::isEnabled(row.needs, context));
        action->setText(QString::fromStdString(EditorCommands::title(row, context)));
    }
}

}  // namespace orvex

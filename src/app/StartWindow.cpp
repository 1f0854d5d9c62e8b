#include "app/StartWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppResources.h"
#include "application/RecentDocuments.h"

namespace orvex {

StartWindow::StartWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Orvex"));
    setAccessibleName(QStringLiteral("Orvex start"));
    setWindowIcon(AppResources::applicationIcon());
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(32, 24, 32, 24);
    auto* icon = new QLabel;
    icon->setPixmap(AppResources::applicationIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    icon->setAccessibleName(QStringLiteral("Orvex icon"));
    layout->addWidget(icon);
    auto* hint = new QLabel(QStringLiteral("Open a sound file, or drop one on this window."));
    hint->setAlignment(Qt::AlignCenter);
    hint->setAccessibleName(hint->text());
    layout->addWidget(hint);
    mOpenButton = new QPushButton(QStringLiteral("Open..."));
    mOpenButton->setAccessibleName(QStringLiteral("Open..."));
    mRecentButton = new QPushButton(QStringLiteral("Open Recent"));
    mRecentButton->setAccessibleName(QStringLiteral("Open Recent"));
    mRecentMenu = new QMenu(QStringLiteral("Open Recent"), this);
    mRecentButton->setMenu(mRecentMenu);
    layout->addWidget(mOpenButton);
    layout->addWidget(mRecentButton);
    setCentralWidget(body);
    connect(mOpenButton, &QPushButton::clicked, this, &StartWindow::openRequested);
    setAcceptDrops(true);
    refreshRecent();
}

void StartWindow::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void StartWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

void StartWindow::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) emit openFileRequested(url.toLocalFile());
    }
    event->acceptProposedAction();
}

void StartWindow::fillRecentMenu(QMenu* menu, const std::function<void(const QString&)>& open) {
    menu->clear();
    for (const std::string& path : RecentDocuments::load()) {
        const QString file = QString::fromStdString(path);
        QAction* action = menu->addAction(QFileInfo(file).fileName());
        action->setToolTip(file);
        action->setData(file);
        QObject::connect(action, &QAction::triggered, menu, [open, file] { open(file); });
    }
    menu->setEnabled(!menu->isEmpty());
}

void StartWindow::refreshRecent() {
    fillRecentMenu(mRecentMenu, [this](const QString& path) { emit openFileRequested(path); });
    mRecentButton->setEnabled(!mRecentMenu->isEmpty());
}

}  // namespace orvex

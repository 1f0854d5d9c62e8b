#include "app/AppController.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include "app/AppMenus.h"
#include "app/AppResources.h"
#include "app/BrandWindow.h"
#include "app/KVPrefsPanelController.h"
#include "app/QtPlatform.h"
#include "app/StartWindow.h"
#include "application/AppVersion.h"
#include "application/LaunchBookkeeping.h"
#include "application/RecentDocuments.h"
#include "application/ResourceFinder.h"
#include "platform/Platform.h"
#include "utilities/KVUtilities.h"
#include "views/KVAnalysisView.h"

namespace orvex {

namespace {
constexpr int kQuitRetryMs = 10;
const char* const kSoundFileFilter =
    "Sound files (*.wav *.wave *.aif *.aiff *.aifc *.flac *.mp3 *.ogg *.oga *.opus *.m4a *.mp4 *.caf *.w64);;All files (*)";
const char* const kAboutText =
    "A spectral audio editor for source separation.\nSelect what you hear in the picture of a sound, "
    "listen, and export it.";
}  // namespace

AppController::AppController(DocumentHost& documents, StartupTimings timings, QObject* parent)
    : QObject(parent),
      mDocuments(documents),
      mTimings(timings),
      mSplash(std::make_unique<BrandWindow>(QStringLiteral("Orvex splash"))),
      mAbout(std::make_unique<BrandWindow>(QStringLiteral("About Orvex"), QString::fromUtf8(kAboutText))),
      mPrefs(std::make_unique<KVPrefsPanelController>()),
      mStart(std::make_unique<StartWindow>()) {
    mPrefs->setDelegate([this] { updateAllOpenDocumentsWithValuesFromPrefs(); });
    mStart->setMenuBar(createMenuBar(mStart.get(), false));
    connect(mStart.get(), &StartWindow::openRequested, this, &AppController::uiOpen);
    connect(mStart.get(), &StartWindow::openFileRequested, this, &AppController::openFile);
    // The start window keeps the application running while no document is open; closing it
    // then quits. Document windows coming and going never quit by themselves.
    qApp->setQuitOnLastWindowClosed(false);
    connect(mStart.get(), &StartWindow::closed, this, [this] {
        if (mDocuments.documentWindows().isEmpty()) uiQuit();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppController::applicationWillTerminate);
    // Refreshes Undo before a key's shortcut is looked up, so Ctrl+Z sees the front
    // document's current state (the shortcut of a disabled action does not fire).
    qApp->installEventFilter(this);
}

AppController::~AppController() { qApp->removeEventFilter(this); }

void AppController::applicationDidFinishLaunching(const QStringList& files) {
    KVUtilities::playStartupSound();
    doSplashScreen();
    LaunchBookkeeping::recordApplicationPath(ResourceFinder::currentExecutable().string());
    for (const QString& file : files) openFile(file);
    documentsChanged();
    mSplash->raise();  // above the windows just opened
    const bool filesWereGiven = !files.isEmpty();
    QTimer::singleShot(mTimings.startupPauseMs, this, [this, filesWereGiven] { finishStartup(filesWereGiven); });
}

void AppController::doSplashScreen() {
    mSplash->present();
    QTimer::singleShot(mTimings.splashHoldMs, mSplash.get(), [splash = mSplash.get()] {
        if (splash->isVisible()) splash->fadeOut([splash] { splash->hide(); });
    });
}

void AppController::finishStartup(bool filesWereGiven) {
    if (LaunchBookkeeping::shouldRunOpenDialog(mPrefs->openFileOnLaunch(), filesWereGiven)) uiOpen();
    if (LaunchBookkeeping::isFirstLaunchOfVersion(AppVersion::number())) uiOpenQuickStart();
    emit startupFinished();
}

bool AppController::openFile(const QString& path) {
    if (!mDocuments.openDocument(path)) return false;
    RecentDocuments::add(path.toStdString());
    mStart->refreshRecent();
    updateAllOpenDocumentsWithValuesFromPrefs();
    documentsChanged();
    return true;
}

void AppController::uiOpen() {
    if (!mOpenDialog) {
        mOpenDialog = new QFileDialog(nullptr, QStringLiteral("Open"), QString(), QString::fromUtf8(kSoundFileFilter));
        mOpenDialog->setFileMode(QFileDialog::ExistingFiles);
        mOpenDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(mOpenDialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
            for (const QString& file : files) openFile(file);
        });
    }
    mOpenDialog->show();
    mOpenDialog->raise();
}

QFileDialog* AppController::openDialog() const { return mOpenDialog; }

void AppController::uiOpenQuickStart() {
    const QString page = AppResources::path(QStringLiteral("quickstart"), QStringLiteral("html"));
    if (page.isEmpty()) {
        Platform::shared().beep();
        return;
    }
    Platform::shared().openWithDefaultApplication(page.toStdString());
}

void AppController::uiPrefs() { mPrefs->uiShowPanel(); }

void AppController::uiAbout() { mAbout->present(); }

// A question still waiting for the user (the set-up question of a file being opened, a command's
// confirmation) holds its window and the code that asked: it is answered first, in the way that
// changes nothing, and the quit goes on once that code has finished.
void AppController::uiQuit() {
    auto* platform = dynamic_cast<QtPlatform*>(&Platform::shared());
    if (platform && platform->answerOpenAlerts()) {
        QTimer::singleShot(kQuitRetryMs, this, &AppController::uiQuit);
        return;
    }
    applicationWillTerminate();
    // exit(), not quit(): quit() is refused while a window declines to close (a fading panel
    // hides instead) and does nothing outside the main event loop, which left a process with no
    // window holding the single-instance socket. exit() also ends a loop of a start-up step;
    // main() does not start its loop after a quit.
    QCoreApplication::exit(0);
}

void AppController::applicationWillTerminate() {
    if (mTerminated) return;
    mTerminated = true;
    // Closing a window removes its document from the list: walk a copy.
    const QList<QWidget*> windows = mDocuments.documentWindows();
    for (QWidget* window : windows) window->close();
    LaunchBookkeeping::recordQuit(AppVersion::number());
}

QList<QWidget*> AppController::documentWindows() const { return mDocuments.documentWindows(); }

CommandContext AppController::frontDocumentContext() const { return mDocuments.frontDocumentContext(); }

void AppController::walkHistoryTo(std::size_t position) {
    mDocuments.walkFrontDocumentHistoryTo(position);
    validateMenus();
}

// The application's commands run here; the others go to the front document, if any.
void AppController::perform(EditorCommand command) {
    switch (command) {
        case EditorCommand::Open: uiOpen(); break;
        case EditorCommand::Close: closeActiveWindow(); break;
        case EditorCommand::Quit: uiQuit(); return;
        case EditorCommand::Preferences: uiPrefs(); break;
        case EditorCommand::Minimize: minimizeActiveWindow(); break;
        case EditorCommand::QuickStart: uiOpenQuickStart(); break;
        case EditorCommand::About: uiAbout(); break;
        default:
            if (mDocuments.hasFrontDocument()) mDocuments.performOnFrontDocument(command);
            break;
    }
    validateMenus();
}

// Closes the window that has the focus (a document window or the start window).
void AppController::closeActiveWindow() {
    if (QWidget* window = QApplication::activeWindow()) window->close();
}

void AppController::minimizeActiveWindow() {
    if (QWidget* window = QApplication::activeWindow()) window->showMinimized();
}

void AppController::documentsChanged() {
    if (mTerminated) return;
    const bool none = mDocuments.documentWindows().isEmpty();
    if (none && !mStart->isVisible()) {
        mStart->refreshRecent();
        mStart->show();
    } else if (!none && mStart->isVisible()) {
        mStart->hide();
    }
    validateMenus();
}

void AppController::validateMenus() {
    const CommandContext context = mDocuments.frontDocumentContext();
    mMenuBars.removeAll(nullptr);
    for (const QPointer<QMenuBar>& bar : mMenuBars) AppMenus::validate(bar, context);
}

QMenuBar* AppController::createMenuBar(QWidget* parent, bool forDocument) {
    QMenuBar* bar = AppMenus::build(*this, parent, forDocument);
    mMenuBars.append(bar);
    validateMenus();
    return bar;
}

// Preferences take effect for documents opened later; open documents keep theirs, but for the
// A4 tuning of their note names and the separation method (the Process menu says which runs),
// which change nothing stored.
void AppController::updateAllOpenDocumentsWithValuesFromPrefs() {
    mDocuments.preferencesChanged();
    validateMenus();
    const double tuning = mPrefs->model().values().a4Tuning;
    for (QWidget* window : mDocuments.documentWindows())
        for (KVAnalysisView* view : window->findChildren<KVAnalysisView*>()) view->setA4Tuning(tuning);
}

// A window-modal question blocks its window's menu: Quit (Ctrl+Q, also where the key scheme
// has no binding for it) is taken from the question itself.
bool AppController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) validateMenus();
    if (event->type() == QEvent::KeyPress && qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Quit) || key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Q)) {
            uiQuit();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace orvex

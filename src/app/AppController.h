#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

#include "app/DocumentHost.h"

class QFileDialog;
class QMenuBar;
class QWidget;

namespace orvex {

class BrandWindow;
class KVPrefsPanelController;
class StartWindow;

// Waits of the start-up, shortened by tests.
struct StartupTimings {
    int startupPauseMs = 4000;  // before the open dialog and the quick start
    int splashHoldMs = 8000;    // the splash stays this long before fading out
};

// The application's controller: start-up (sound, splash, open dialog, quick start), the
// menus of every window with the commands forwarded to the front document, the preferences
// panel, the about and start windows, and the bookkeeping at quit. GUI thread only.
class AppController : public QObject {
    Q_OBJECT
public:
    explicit AppController(DocumentHost& documents, StartupTimings timings = {}, QObject* parent = nullptr);
    ~AppController() override;

    // Start-up: sound, splash, bookkeeping; after the pause (a timer: the event loop keeps
    // running) the open dialog when asked for and no file was given, and the quick start on
    // the first launch of this version. files: the paths handed over on the command line.
    void applicationDidFinishLaunching(const QStringList& files);
    // Opens path as a document and remembers it in Open Recent.
    bool openFile(const QString& path);
    // Shows the (non-blocking) open dialog.
    void uiOpen();
    void uiOpenQuickStart();
    void uiPrefs();
    void uiAbout();
    // Closes every document, records the version and quits.
    void uiQuit();
    // Closes every document window (over a copy of the list, as closing shortens it) and stores
    // the version under "General_AppVersion". Runs once; also on the application's aboutToQuit.
    void applicationWillTerminate();
    // Whether Quit has run (the process ends, even when it ran before the main event loop).
    bool hasTerminated() const { return mTerminated; }

    // The open documents' windows, in the order they were opened.
    QList<QWidget*> documentWindows() const;

    // Runs a command of the command table: the application's here, the others on the front
    // document (nothing without one). The menus follow the new state.
    void perform(EditorCommand command);
    // The front document's state as the menus read it, and a jump in its history to position
    // steps done (the History list of the Window menu).
    CommandContext frontDocumentContext() const;
    void walkHistoryTo(std::size_t position);
    // A document window opened or closed: the start window shows while none is open.
    void documentsChanged();
    // Each menu item follows its command's enabling rule in the front document's state.
    void validateMenus();

    // A menu bar for a window: the document menus for a document window, File, Edit and
    // Help for the start window. Owned by parent.
    QMenuBar* createMenuBar(QWidget* parent, bool forDocument);

    BrandWindow* splashWindow() const { return mSplash.get(); }
    BrandWindow* aboutWindow() const { return mAbout.get(); }
    KVPrefsPanelController* prefsPanel() const { return mPrefs.get(); }
    StartWindow* startWindow() const { return mStart.get(); }
    QFileDialog* openDialog() const;

signals:
    // The start-up finished its pause and its decisions.
    void startupFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void doSplashScreen();
    void finishStartup(bool filesWereGiven);
    void updateAllOpenDocumentsWithValuesFromPrefs();
    static void closeActiveWindow();
    static void minimizeActiveWindow();

    DocumentHost& mDocuments;
    StartupTimings mTimings;
    std::unique_ptr<BrandWindow> mSplash;
    std::unique_ptr<BrandWindow> mAbout;
    std::unique_ptr<KVPrefsPanelController> mPrefs;
    std::unique_ptr<StartWindow> mStart;
    QPointer<QFileDialog> mOpenDialog;
    QList<QPointer<QMenuBar>> mMenuBars;
    bool mTerminated = false;
};

}  // namespace orvex

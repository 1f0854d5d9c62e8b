// The application controller on the offscreen platform: the splash leaves the event loop
// running, closing the about window does not quit, the start window keeps the application
// alive without documents, the menus (Ctrl+Z, Process, Ctrl+,) serve the front document, quit
// closes every document once. Then with real document windows: file checks on opening, a closed
// window leaving the list and the start window returning (a file opened twice under another
// spelling is tried in the document window test).
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include "AppTestSupport.h"
#include "app/AppController.h"
#include "app/BrandWindow.h"
#include "app/KVEditorWindow.h"
#include "app/KVPrefsPanelController.h"
#include "app/StartWindow.h"
#include "app/WindowDocumentHost.h"
#include "application/AppVersion.h"
#include "application/PreferenceKeys.h"
#include "document/KVWaveDocument.h"

using namespace orvex;

namespace {
constexpr StartupTimings kQuick{50, 1000};

QAction* menuAction(QWidget* window, const char* name) {
    return window->findChild<QMenuBar*>()->findChild<QAction*>(QString::fromLatin1(name));
}

// Drags the file at path onto target and drops it there; whether target accepted the drag.
bool dropFile(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    return enter.isAccepted();
}
}  // namespace

class AppControllerTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<test::AppScope> mScope;
    std::unique_ptr<test::FakeDocumentHost> mHost;
    std::unique_ptr<AppController> mController;

    void launch(const QStringList& files = {}) {
        QSignalSpy finished(mController.get(), &AppController::startupFinished);
        mController->applicationDidFinishLaunching(files);
        QVERIFY(finished.wait(2000));
    }

private slots:
    void init() {
        mScope = std::make_unique<test::AppScope>();
        mHost = std::make_unique<test::FakeDocumentHost>();
        mController = std::make_unique<AppController>(*mHost, kQuick);
        mHost->controller = mController.get();
    }
    void cleanup() {
        mController.reset();
        mHost.reset();
        mScope.reset();
    }

    // The text itself (version, architecture, word size) is checked in the application tests.
    void splashShowsVersionAndKeepsTheEventLoopRunning() {
        mController->applicationDidFinishLaunching({});
        BrandWindow* splash = mController->splashWindow();
        QVERIFY(splash->isVisible());
        QCOMPARE(splash->uiVersionInfo()->text(), QString::fromStdString(AppVersion::splashText()));
        bool ran = false, visibleThen = false;
        qint64 after = -1;
        // Timed from the post: the launch itself (the start-up sound, the window) is not the wait.
        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(qApp, [&] { ran = true; visibleThen = splash->isVisible(); after = clock.elapsed(); }, Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(ran, 30000);
        QVERIFY(visibleThen);
        QVERIFY2(after < 500, qPrintable(QString::number(after)));
        // Faded in to full opacity, held, faded out and hidden.
        QTRY_COMPARE_WITH_TIMEOUT(splash->windowOpacity(), 1.0, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!splash->isVisible(), 30000);
        QVERIFY(splash->windowOpacity() < 0.02);
    }

    void closingTheAboutWindowDoesNotQuit() {
        launch({mScope->writeWave("a.wav")});
        QVERIFY(!mController->openDialog());  // a file was given
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        mController->uiAbout();
        QTRY_COMPARE_WITH_TIMEOUT(mController->aboutWindow()->windowOpacity(), 1.0, 30000);
        // Closing the last document first leaves the about window alone on screen.
        mHost->documentWindows().first()->close();
        mController->startWindow()->hide();
        QVERIFY(mController->aboutWindow()->close() == false);
        QTRY_VERIFY_WITH_TIMEOUT(!mController->aboutWindow()->isVisible(), 30000);
        QTest::qWait(50);
        QCOMPARE(quitting.count(), 0);
        QCOMPARE(lastClosed.count(), 0);
        mController->uiAbout();
        QVERIFY(mController->aboutWindow()->isVisible());
    }

    void startWindowRemainsWhileNoDocumentIsOpen() {
        launch();
        StartWindow* start = mController->startWindow();
        QVERIFY(start->isVisible());
        QStringList titles;
        for (QAction* menu : start->menuBar()->actions()) titles << menu->text().remove(QLatin1Char('&'));
        QCOMPARE(titles, (QStringList{"File", "Edit", "Window", "Help"}));
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        const QString a = mScope->writeWave("a.wav"), b = mScope->writeWave("b.wav");
        QVERIFY(mController->openFile(a));
        QVERIFY(!start->isVisible());
        // A dropped file opens like one chosen in the dialog.
        start->show();
        QVERIFY(dropFile(start, b));
        QCOMPARE(mHost->documentWindows().size(), 2);
        QVERIFY(!start->isVisible());
        for (QWidget* window : mHost->documentWindows()) window->close();
        QVERIFY(start->isVisible());
        QTest::qWait(50);
        QCOMPARE(quitting.count(), 0);
        // Both files are in Open Recent, the newest first.
        const QList<QAction*> recent = start->recentMenu()->actions();
        QCOMPARE(recent.size(), 2);
        QCOMPARE(recent[0]->data().toString(), b);
        QVERIFY(start->uiOpenRecentButton()->isEnabled());
    }

    // The front document's menus: Undo and Export Stems follow it and Redo stays disabled, the
    // Process menu's commands reach it, Ctrl+, opens the preferences. Quit closes every document
    // once.
    void menusServeTheFrontDocumentQuitClosesEachOnce() {
        launch({mScope->writeWave("a.wav"), mScope->writeWave("b.wav"), mScope->writeWave("c.wav")});
        QWidget* window = mHost->documentWindows().first();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QAction* undo = menuAction(window, "uiUndoMenuItem");
        QAction* redo = menuAction(window, "uiRedoMenuItem");
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(mHost->performed.empty());
        QVERIFY(!undo->isEnabled());
        mHost->canUndo = true;
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(mHost->performed, std::vector<EditorCommand>{EditorCommand::Undo});
        QVERIFY(undo->isEnabled());
        QVERIFY(!redo->isEnabled());
        QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(mHost->performed.size(), size_t(1));
        QMenuBar* bar = window->findChild<QMenuBar*>();
        QStringList titles;
        for (QAction* menu : bar->actions()) titles << menu->text().remove(QLatin1Char('&'));
        QCOMPARE(titles, (QStringList{"File", "Edit", "Process", "Play", "View", "Window", "Help"}));
        // The Process menu and Export Stems wait for an analysed segment in the front document.
        const QList<QAction*> process = bar->actions()[2]->menu()->actions();
        QAction* stems = menuAction(window, "uiExportStemsMenuItem");
        QVERIFY(stems && !stems->isEnabled());
        for (QAction* action : process) QVERIFY(action->isSeparator() || !action->isEnabled());
        mHost->hasAnalysis = true;
        mController->validateMenus();
        for (QAction* action : process) {
            if (!action->isSeparator()) action->trigger();
        }
        QCOMPARE(mHost->performed,
                 (std::vector<EditorCommand>{EditorCommand::Undo, EditorCommand::KeepTransients,
                                               EditorCommand::DiscardTransients, EditorCommand::FillGaps,
                                               EditorCommand::ApplySelection}));
        QVERIFY(stems->isEnabled());
        stems->trigger();
        QCOMPARE(mHost->performed.back(), EditorCommand::ExportStems);
        QTest::keyClick(window, Qt::Key_Comma, Qt::ControlModifier);
        QTRY_VERIFY(mController->prefsPanel()->isVisible());

        mController->applicationWillTerminate();
        QVERIFY(mHost->documentWindows().isEmpty());
        QCOMPARE(mHost->closeCounts, (std::map<QString, int>{{"a.wav", 1}, {"b.wav", 1}, {"c.wav", 1}}));
        QCOMPARE(mScope->platform().integerForKey(prefkeys::kAppVersion), AppVersion::number());
        QVERIFY(!mController->startWindow()->isVisible());
    }

    void startUpSoundOpenDialogAndQuickStartFollowThePreferences() {
        launch();
        QCOMPARE(mScope->platform().soundsPlayed(), std::vector<std::string>{"orvn.aif"});
        QVERIFY(mController->openDialog() && mController->openDialog()->isVisible());
        const auto opened = mScope->platform().openedFiles();
        QCOMPARE(opened.size(), size_t(1));
        QVERIFY(QString::fromStdString(opened[0]).endsWith("/quickstart.html"));
        QVERIFY(QFile::exists(QString::fromStdString(opened[0])));
        mController->applicationWillTerminate();
        mController->openDialog()->close();

        // Second launch of the same version, sound and dialog switched off, a file given.
        mScope->platform().setBoolForKey(prefkeys::kPlayStartupSound, false);
        mScope->platform().setBoolForKey(prefkeys::kOpenFileOnLaunch, false);
        mScope->platform().setIntegerForKey(prefkeys::kPrefsVersion, 301);
        mController = std::make_unique<AppController>(*mHost, kQuick);
        mHost->controller = mController.get();
        launch();
        QCOMPARE(mScope->platform().soundsPlayed().size(), size_t(1));
        QCOMPARE(mScope->platform().openedFiles().size(), size_t(1));
        QVERIFY(!mController->openDialog());
        QCOMPARE(QString::fromStdString(*mScope->platform().stringForKey(prefkeys::kApplicationPath)),
                 QCoreApplication::applicationFilePath());
    }

    // The real window host, without the fake one.
    void realWindowsOpenCheckedFilesAndForgetClosedOnes() {
        mController.reset();
        mHost.reset();
        WindowDocumentHost host;
        AppController controller(host, StartupTimings{50, 1000});
        host.setController(&controller);
        controller.documentsChanged();
        const QString a = mScope->writeWave(QStringLiteral("a.wav"));
        QFile text(mScope->file(QStringLiteral("notes.wav")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a sound");
        text.close();

        QVERIFY(!controller.openFile(text.fileName()));
        QCOMPARE(mScope->platform().alerts().size(), size_t(1));
        QVERIFY(controller.openFile(a));
        auto* window = qobject_cast<KVEditorWindow*>(host.documentWindows().first());
        // A real document behind the window, with nothing to undo yet.
        KVWaveDocument* document = host.documents().documentOfWindow(window);
        QVERIFY(document && document->frames() > 0);
        QVERIFY(host.hasFrontDocument());
        QVERIFY(host.frontDocumentContext().hasDocument && !host.frontDocumentContext().canUndo);
        // Every command of the table has its menu item with the table's keys and its button,
        // and a button runs its command on the window's document.
        for (const EditorCommandRow& row : EditorCommands::all()) {
            const QString item = QString::fromStdString(EditorCommands::menuItemName(row));
            QAction* action = window->menuBar()->findChild<QAction*>(item);
            QCOMPARE(action != nullptr, !row.menu.empty());
            if (action)
                QCOMPARE(action->shortcuts(), QKeySequence::listFromString(QString::fromUtf8(row.shortcut.data(),
                                                                                             row.shortcut.size())));
            if (!row.button.empty()) QVERIFY(window->button(QString::fromUtf8(row.button.data(), row.button.size())));
        }
        QVERIFY(!document->commandState().loopEnabled);
        QTest::mouseClick(window->button("uiLoopButton"), Qt::LeftButton);
        QVERIFY(document->commandState().loopEnabled);

        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(window->tabs()->currentIndex(), int(KVEditorWindow::kOutputTab));

        // A sound file dropped on the document window opens in a window of its own.
        QVERIFY(dropFile(window, mScope->writeWave(QStringLiteral("b.wav"))));
        QCOMPARE(host.documentWindows().size(), 2);
        QCOMPARE(host.documentWindows().first()->windowTitle(), QStringLiteral("b"));

        for (QWidget* open : host.documentWindows()) open->close();
        QTRY_VERIFY(host.documentWindows().isEmpty());
        QVERIFY(controller.startWindow()->isVisible());
    }
};

QTEST_MAIN(AppControllerTest)
#include "AppControllerTest.moc"

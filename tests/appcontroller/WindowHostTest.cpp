// The document windows behind the application controller: file checks on opening, a closed
// window leaving the list and the start window returning. A file opened twice under another
// spelling is tried in the app tests' document window test.
#include <QApplication>
#include <QMimeData>
#include <QTabWidget>
#include <QtTest>

#include "AppTestSupport.h"
#include "app/AppController.h"
#include "app/KVEditorWindow.h"
#include "app/StartWindow.h"
#include "app/WindowDocumentHost.h"
#include "document/KVWaveDocument.h"

using namespace orvex;

class WindowHostTest : public QObject {
    Q_OBJECT
private slots:
    void opensCheckedFilesOnceAndForgetsClosedWindows() {
        test::AppScope scope;
        WindowDocumentHost host;
        AppController controller(host, StartupTimings{50, 1000});
        host.setController(&controller);
        controller.documentsChanged();
        const QString a = scope.writeWave(QStringLiteral("a.wav"));
        QFile text(scope.file(QStringLiteral("notes.wav")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a sound");
        text.close();

        QVERIFY(!controller.openFile(text.fileName()));
        QCOMPARE(scope.platform().alerts().size(), size_t(1));
        QVERIFY(controller.openFile(a));
        auto* window = qobject_cast<KVEditorWindow*>(host.documentWindows().first());
        QCOMPARE(window->windowTitle(), QStringLiteral("a"));
        QVERIFY(!controller.startWindow()->isVisible());
        // A real document behind the window, with nothing to undo yet.
        KVWaveDocument* document = host.documents().documentOfWindow(window);
        QVERIFY(document && document->frames() > 0);
        QVERIFY(host.hasFrontDocument());
        QVERIFY(!host.frontDocumentCanUndo());

        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(window->tabs()->currentIndex(), int(KVEditorWindow::kOutputTab));

        // A sound file dropped on the document window opens in a window of its own.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(scope.writeWave(QStringLiteral("b.wav")))});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window, &enter);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window, &drop);
        QCOMPARE(host.documentWindows().size(), 2);
        QCOMPARE(host.documentWindows().first()->windowTitle(), QStringLiteral("b"));

        for (QWidget* open : host.documentWindows()) open->close();
        QTRY_VERIFY(host.documentWindows().isEmpty());
        QVERIFY(controller.startWindow()->isVisible());
    }
};

QTEST_MAIN(WindowHostTest)
#include "WindowHostTest.moc"

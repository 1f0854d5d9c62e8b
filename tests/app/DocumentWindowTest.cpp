// The document window's frame: the three tabs in order with their titles and accessible names.
#include <QTabWidget>
#include <QtTest>

#include "app/KVDocumentWindow.h"

using namespace orvex;

class DocumentWindowTest : public QObject {
    Q_OBJECT
private slots:
    void threeTabsInOrder();
    void pluggedViewsKeepTheirPlace();
};

void DocumentWindowTest::threeTabsInOrder() {
    KVDocumentWindow window;
    QCOMPARE(window.tabs()->count(), 3);
    const QStringList titles{"Input Overview", "Analysis Editor", "Master Output"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(window.tabs()->tabText(i), titles[i]);
        QCOMPARE(window.tabView(i)->accessibleName(), titles[i]);
    }
}

void DocumentWindowTest::pluggedViewsKeepTheirPlace() {
    KVDocumentWindow window;
    window.tabs()->setCurrentIndex(1);
    QPointer<QWidget> old = window.tabView(1);
    auto* view = new QWidget;
    window.setTabView(1, view);
    QVERIFY(old.isNull());
    QCOMPARE(window.tabView(1), view);
    QCOMPARE(window.tabs()->currentIndex(), 1);
    QCOMPARE(window.tabs()->tabText(1), QString("Analysis Editor"));
}

QTEST_MAIN(DocumentWindowTest)
#include "DocumentWindowTest.moc"

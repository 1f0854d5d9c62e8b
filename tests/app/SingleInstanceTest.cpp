// A second start hands its files to the running instance; without one it finds nobody.
#include <QtTest>

#include "app/SingleInstance.h"

using namespace orvex;

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void secondStartForwardsItsFiles();
};

void SingleInstanceTest::secondStartForwardsItsFiles() {
    const QString name = QString("orvex-test-%1").arg(QCoreApplication::applicationPid());
    SingleInstance first(name);
    QVERIFY(!first.forwardToRunningInstance({"a.wav"}, 200));
    QVERIFY(first.listen());
    QSignalSpy received(&first, &SingleInstance::filesReceived);
    SingleInstance second(name);
    // The sender blocks only until the bytes are out; the server reads them in its event loop.
    QVERIFY(second.forwardToRunningInstance({"take.wav", "/sounds/b c.wav"}));
    QVERIFY(received.wait(3000));
    const QStringList files = received.first().first().toStringList();
    QCOMPARE(files, (QStringList{QFileInfo("take.wav").absoluteFilePath(), "/sounds/b c.wav"}));
}

QTEST_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"

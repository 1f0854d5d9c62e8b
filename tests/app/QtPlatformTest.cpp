// The Qt platform services: alerts from the GUI thread and from workers, posting order,
// defaults on disk (read back by Python), reveal and open through xdg-open, recent documents
// and the short sounds through the audio engine; a second start handing its files to the running
// instance, which without one finds nobody.
#include <QProcess>
#include <QtTest>

#include <atomic>
#include <thread>

#include "app/SingleInstance.h"
#include "app/SoundPlayer.h"
#include "application/RecentDocuments.h"
#include "playback/ManualAudioBackend.h"
#include "qtsupport/QtTestSupport.h"

using namespace orvex;
using namespace orvex::test;

class QtPlatformTest : public QObject {
    Q_OBJECT
private slots:
    void alertsAnswerWithTheClickedButton_data();
    void alertsAnswerWithTheClickedButton();
    void postsRunInOrderAndWaitingPostsReturnAfterRunning();
    void defaultsArePropertyListUnderConfigHome();
    void revealAndOpenFallBackToXdgOpen();
    void recentDocumentsAreAddedFromAnyThread();
    void soundsPlayThroughTheAudioEngine();
    void secondStartForwardsItsFiles();
};

void QtPlatformTest::alertsAnswerWithTheClickedButton_data() {
    QTest::addColumn<QString>("click");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("fromWorker");
    QTest::newRow("default") << "Modify" << int(AlertButton::Default) << false;
    QTest::newRow("alternate") << "Extract" << int(AlertButton::Alternate) << false;
    QTest::newRow("other") << "Suppress" << int(AlertButton::Other) << false;
    QTest::newRow("asked by a worker, shown by the GUI thread") << "Extract" << int(AlertButton::Alternate) << true;
}

void QtPlatformTest::alertsAnswerWithTheClickedButton() {
    QFETCH(QString, click);
    QFETCH(int, expected);
    QFETCH(bool, fromWorker);
    QtPlatformScope scope;
    QString title;
    answerNextAlert(click, &title);
    std::atomic<int> answer{-1};
    const auto ask = [&] {
        answer = int(scope.platform().runAlert("Auto setup document?", "Choose", {"Modify", "Extract", "Suppress"}));
    };
    if (fromWorker) {
        std::thread worker(ask);
        QVERIFY(QTest::qWaitFor([&] { return answer.load() >= 0; }, 5000));
        worker.join();
    } else {
        ask();
    }
    QCOMPARE(answer.load(), expected);
    QCOMPARE(title, QString("Auto setup document?"));
    QCOMPARE(scope.platform().alertLog().size(), std::size_t(1));
}

void QtPlatformTest::postsRunInOrderAndWaitingPostsReturnAfterRunning() {
    QtPlatformScope scope;
    QtPlatform& platform = scope.platform();
    std::vector<int> order;  // touched only on the GUI thread
    std::atomic<bool> waitedRanOnGui{false}, done{false};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) platform.postToMainThread([&order, i] { order.push_back(i); }, false);
        platform.postToMainThread([&] { waitedRanOnGui = platform.isMainThread(); order.push_back(3); }, true);
        done = true;
    });
    QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 5000));
    worker.join();
    QCOMPARE(order, (std::vector<int>{0, 1, 2, 3}));
    QVERIFY(waitedRanOnGui);
    bool ranAtOnce = false;
    platform.postToMainThread([&] { ranAtOnce = true; }, true);
    QVERIFY(ranAtOnce);
}

void QtPlatformTest::defaultsArePropertyListUnderConfigHome() {
    QtPlatformScope scope;
    QtPlatform& platform = scope.platform();
    platform.setBoolForKey("General_ChimeWhenDone", true);
    platform.setIntegerForKey("General_PrefsVersion", 3);
    platform.setStringForKey("ORVX_LastFolder", "/tmp/a b");
    QVERIFY(!platform.boolForKey("Missing") && platform.integerForKey("Missing") == 0);
    QVERIFY(!platform.stringForKey("Missing"));
    platform.synchronizeDefaults();
    const QString path = scope.file("config/orvex/defaults.plist");
    QProcess python;
    python.start("python3", {"-c",
                             "import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb'));"
                             "print(d['General_ChimeWhenDone'], d['General_PrefsVersion'], d['ORVX_LastFolder'])",
                             path});
    QVERIFY(python.waitForFinished(10000));
    QCOMPARE(QString(python.readAllStandardOutput()).trimmed(), QString("True 3 /tmp/a b"));
    // A new platform on the same folder reads them back.
    QtPlatform again(path.toStdString());
    QCOMPARE(again.integerForKey("General_PrefsVersion"), std::int64_t(3));
}

void QtPlatformTest::revealAndOpenFallBackToXdgOpen() {
    QtPlatformScope scope;
    const QString bin = scope.file("bin"), log = scope.file("opened.txt");
    QDir().mkpath(bin);
    QFile script(bin + "/xdg-open");
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(log).toUtf8());
    script.close();
    script.setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray oldPath = qgetenv("PATH"), oldBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("PATH", bin.toLocal8Bit() + ":" + oldPath);
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    const QString sound = scope.file("take.wav");
    scope.platform().revealFile(sound.toStdString());
    scope.platform().openWithDefaultApplication(sound.toStdString());
    const auto lines = [&] {
        QFile opened(log);
        return opened.open(QIODevice::ReadOnly) ? QString(opened.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList{};
    };
    QVERIFY(QTest::qWaitFor([&] { return lines().size() >= 2; }, 5000));
    QVERIFY(lines().contains(QFileInfo(sound).absolutePath()));
    QVERIFY(lines().contains(sound));

    // No program takes the file (xdg-open fails): the user is told where it is.
    QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write("#!/bin/sh\nexit 3\n");
    script.close();
    QString title;
    answerNextAlert("Okay", &title, 20000);
    scope.platform().openWithDefaultApplication(sound.toStdString());
    QTRY_COMPARE_WITH_TIMEOUT(title, QString("Could not open take.wav"), 20000);
    qputenv("PATH", oldPath);
    qputenv("DBUS_SESSION_BUS_ADDRESS", oldBus);
    QVERIFY(scope.platform().alertLog().back()[1].find(sound.toStdString()) != std::string::npos);
}

void QtPlatformTest::recentDocumentsAreAddedFromAnyThread() {
    QtPlatformScope scope;
    const QString sound = scope.file("take.wav");
    writeTestWave(sound, 0.1);
    std::thread worker([&] { scope.platform().addRecentDocument(sound.toStdString()); });
    QVERIFY(QTest::qWaitFor([&] { return !RecentDocuments::load().empty(); }, 5000));
    worker.join();
    QCOMPARE(RecentDocuments::load(), std::vector<std::string>{sound.toStdString()});
}

void QtPlatformTest::soundsPlayThroughTheAudioEngine() {
    auto backend = std::make_unique<ManualAudioBackend>(256);
    ManualAudioBackend* output = backend.get();
    SoundPlayer player(std::make_unique<KVAudioEngineController>(std::move(backend)));
    QVERIFY(!player.play("/nonexistent/finished-new.aiff"));
    for (auto [name, type] : {std::pair{"finished-new", "aiff"}, std::pair{"orvn", "aif"}}) {
        QVERIFY2(player.play(QtPlatform::resourcePath(name, type)), name);
        std::vector<float> left(256), right(256);
        double energy = 0.0;
        int cycles = 0;
        while (player.isPlaying() && cycles++ < 1000) {
            output->pullStereo(left.data(), right.data(), 256);
            for (float v : left) energy += double(v) * v;
        }
        QVERIFY(!player.isPlaying());
        QVERIFY2(energy > 1.0, name);
    }
}

void QtPlatformTest::secondStartForwardsItsFiles() {
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

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"

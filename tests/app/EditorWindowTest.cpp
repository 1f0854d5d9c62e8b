// The editor window's frame: the three tabs in order, every control named for screen readers
// and desktop tests, the volume shown in dB. Files dropped on it open through the window host.
#include <QAbstractButton>
#include <QSlider>
#include <QTabWidget>
#include <QtTest>

#include "app/KVEditorWindow.h"
#include "views/KVAnalysisView.h"
#include "views/KVOutputFileView.h"
#include "views/KVWaveSegmentView.h"
#include "qtsupport/QtTestSupport.h"

using namespace orvex;

class EditorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void threeTabsNamedControlsAndTheVolumeInDecibels();
};

void EditorWindowTest::threeTabsNamedControlsAndTheVolumeInDecibels() {
    KVEditorWindow window;
    QCOMPARE(window.tabs()->count(), 3);
    const QStringList titles{"Input Overview", "Analysis Editor", "Master Output"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(window.tabs()->tabText(i), titles[i]);
        QCOMPARE(window.tabView(i)->accessibleName(), titles[i]);
    }
    QVERIFY(window.segmentView() && window.tabView(0)->isAncestorOf(window.segmentView()));
    QVERIFY(window.analysisView() && window.tabView(1)->isAncestorOf(window.analysisView()));
    QVERIFY(window.outputView() && window.tabView(2)->isAncestorOf(window.outputView()));
    QVERIFY(!window.outputView()->accessibleName().isEmpty());
    // The preview button latches the analysis view's real-time preview.
    window.button("uiRealtimePreRenderButton")->click();
    QVERIFY(window.analysisView()->previewLatched());
    window.button("uiRealtimePreRenderButton")->click();
    QVERIFY(!window.analysisView()->previewLatched());

    // Every control has its label or tooltip as accessible name.
    const QStringList required{"uiPlayButton", "uiStopButton", "uiLoopButton", "uiRewindButton", "uiForwardButton",
                               "uiPlayOriginalButton", "uiMultiPencilButton", "uiBoxButton", "uiAnalyzeSegmentButton",
                               "uiExportAudioButton", "uiRevealFileButton", "uiSnapToGridButton", "uiExtractButton"};
    for (const QString& name : required) QVERIFY2(window.button(name), qPrintable(name));
    int controls = 0;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->objectName().startsWith("ui")) continue;
        ++controls;
        const auto* b = qobject_cast<QAbstractButton*>(w);
        const QString expected = b ? b->text() : w->toolTip();
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        if (!expected.isEmpty()) QCOMPARE(w->accessibleName(), expected);
    }
    QVERIFY(controls >= 35);

    QCOMPARE(window.volumeText()->text(), QString("0.00 dB"));
    window.show();
    window.volumeSlider()->setFocus();
    QTest::keyClick(window.volumeSlider(), Qt::Key_Left);
    QCOMPARE(window.volumeText()->text(), QString("-1.00 dB"));
    QVERIFY(window.button("uiStopButton")->isChecked() && !window.button("uiPlayButton")->isChecked());
    test::saveArtifact(window.grab().toImage(), "editor-window-empty.png");
}

QTEST_MAIN(EditorWindowTest)
#include "EditorWindowTest.moc"

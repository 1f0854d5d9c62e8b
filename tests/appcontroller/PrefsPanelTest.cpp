// The preferences panel on the offscreen platform: the first launch's fixed set, Save writing
// the version and the six keys that a new platform on the same file shows, Cancel reverting.
// Ctrl+, is tried in the application controller's tests.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/KVPrefsPanelController.h"
#include "app/QtPlatform.h"
#include "application/PreferenceKeys.h"
#include "qtsupport/QtTestSupport.h"

using namespace orvex;

namespace {

// The panel's controls in order: chime, startup, open file, fast drawing, perceptual, harmonic,
// replace, add.
std::vector<QAbstractButton*> controls(const KVPrefsPanelController& panel) {
    return {panel.uiChimeWhenDoneCheckbox, panel.uiUseStartupSound, panel.uiOpenFileOnLaunchCheckbox,
            panel.uiFastDrawingCheckbox, panel.uiPerceptualModellingCheckbox, panel.uiHarmonicTrackingCheckbox,
            panel.uiReplaceDataCheckbox, panel.uiAddDataCheckbox};
}

// The controls' states as a string of 0/1.
QString controlStates(const KVPrefsPanelController& panel) {
    QString states;
    for (const QAbstractButton* button : controls(panel)) states += button->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return states;
}

void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center()); }

QPushButton* dialogButton(KVPrefsPanelController& panel, QDialogButtonBox::StandardButton which) {
    return panel.findChild<QDialogButtonBox*>()->button(which);
}

}  // namespace

class PrefsPanelTest : public QObject {
    Q_OBJECT
private slots:
    void saveWritesVersionAndSixKeysThatANewPlatformShows() {
        test::QtPlatformScope scope;
        KVPrefsPanelController panel;
        panel.uiShowPanel();
        test::saveArtifact(panel.grab().toImage(), QStringLiteral("preferences.png"));
        // Chime on, start-up sound off, open file off, fast drawing on, harmonic, add.
        for (int control : {0, 1, 2, 3, 5, 7}) click(controls(panel)[control]);
        bool told = false;
        panel.setDelegate([&] { told = true; });
        click(dialogButton(panel, QDialogButtonBox::Save));
        QVERIFY(told);
        QVERIFY(!panel.isVisible());
        QCOMPARE(scope.platform().integerForKey(prefkeys::kPrefsVersion), 301);

        // A new platform reading the same configuration folder, as the next start would, shows the
        // saved values (the old one is still alive, so they must be on disk already).
        Platform::install(std::make_shared<QtPlatform>());
        KVPrefsPanelController again;
        again.uiShowPanel();
        QCOMPARE(controlStates(again), QStringLiteral("10010101"));
    }

    // The first launch's fixed set is saved as shown; edits are reverted by Cancel and Escape.
    void cancelRevertsTheEditedValues() {
        test::QtPlatformScope scope;
        KVPrefsPanelController panel;
        panel.uiShowPanel();
        QCOMPARE(controlStates(panel), QStringLiteral("01101010"));
        click(dialogButton(panel, QDialogButtonBox::Save));
        panel.uiShowPanel();
        click(panel.uiOpenFileOnLaunchCheckbox);
        click(panel.uiFastDrawingCheckbox);
        click(panel.uiHarmonicTrackingCheckbox);
        QVERIFY(!panel.openFileOnLaunch());
        click(dialogButton(panel, QDialogButtonBox::Cancel));
        QVERIFY(!panel.isVisible());
        QVERIFY(panel.openFileOnLaunch());
        QVERIFY(!panel.doFastDrawing());
        QCOMPARE(controlStates(panel), QStringLiteral("01101010"));
        // Escape cancels too.
        panel.uiShowPanel();
        click(panel.uiChimeWhenDoneCheckbox);
        QTest::keyClick(&panel, Qt::Key_Escape);
        QVERIFY(!panel.isVisible());
        QVERIFY(!panel.model().values().chime);
        QVERIFY(!scope.platform().boolForKey(prefkeys::kChimeWhenDone));
    }
};

QTEST_MAIN(PrefsPanelTest)
#include "PrefsPanelTest.moc"

#include "app/KVPrefsPanelController.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace orvex {

namespace {
template <typename Button>
Button* makeButton(const QString& text) {
    auto* button = new Button(text);
    button->setAccessibleName(text);
    return button;
}

QGroupBox* radioPair(const QString& title, QRadioButton* first, QRadioButton* second, QObject* owner) {
    auto* box = new QGroupBox(title);
    box->setAccessibleName(title);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(first);
    layout->addWidget(second);
    auto* group = new QButtonGroup(owner);
    group->addButton(first);
    group->addButton(second);
    return box;
}
}  // namespace

KVPrefsPanelController::KVPrefsPanelController(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Preferences"));
    setAccessibleName(QStringLiteral("Preferences"));
    buildControls();
    connectControls();
    showValues();
}

void KVPrefsPanelController::buildControls() {
    uiChimeWhenDoneCheckbox = makeButton<QCheckBox>(QStringLiteral("Chime when processing is done"));
    uiUseStartupSound = makeButton<QCheckBox>(QStringLiteral("Play the start-up sound"));
    uiOpenFileOnLaunchCheckbox = makeButton<QCheckBox>(QStringLiteral("Show the open dialog at start"));
    uiFastDrawingCheckbox = makeButton<QCheckBox>(QStringLiteral("Fast drawing (new documents)"));
    uiPerceptualModellingCheckbox = makeButton<QRadioButton>(QStringLiteral("Perceptual modelling"));
    uiHarmonicTrackingCheckbox = makeButton<QRadioButton>(QStringLiteral("Harmonic tracking"));
    uiReplaceDataCheckbox = makeButton<QRadioButton>(QStringLiteral("Replace the selection"));
    uiAddDataCheckbox = makeButton<QRadioButton>(QStringLiteral("Add to the selection"));
    uiA4TuningField = new QDoubleSpinBox;
    uiA4TuningField->setAccessibleName(QStringLiteral("A4 tuning"));
    uiA4TuningField->setRange(PreferenceValues::kLowestA4, PreferenceValues::kHighestA4);
    uiA4TuningField->setDecimals(1);
    uiA4TuningField->setSingleStep(0.5);
    uiA4TuningField->setSuffix(QStringLiteral(" Hz"));

    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* box : {uiChimeWhenDoneCheckbox, uiUseStartupSound, uiOpenFileOnLaunchCheckbox, uiFastDrawingCheckbox})
        layout->addWidget(box);
    layout->addWidget(radioPair(QStringLiteral("Pencil selection"), uiPerceptualModellingCheckbox, uiHarmonicTrackingCheckbox, this));
    layout->addWidget(radioPair(QStringLiteral("New selections"), uiReplaceDataCheckbox, uiAddDataCheckbox, this));
    auto* tuning = new QFormLayout;
    tuning->addRow(QStringLiteral("A4 tuning (note names):"), uiA4TuningField);
    layout->addLayout(tuning);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Save)->setAccessibleName(QStringLiteral("Save"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &KVPrefsPanelController::uiSaveAndClosePrefs);
    connect(buttons, &QDialogButtonBox::rejected, this, &KVPrefsPanelController::uiCancelAndClosePrefs);
    layout->addWidget(buttons);
}

void KVPrefsPanelController::connectControls() {
    connect(uiChimeWhenDoneCheckbox, &QCheckBox::toggled, this, [this](bool on) { mModel.setChime(on); });
    connect(uiUseStartupSound, &QCheckBox::toggled, this, [this](bool on) { mModel.setStartup(on); });
    connect(uiOpenFileOnLaunchCheckbox, &QCheckBox::toggled, this, [this](bool on) { mModel.setOpenFile(on); });
    connect(uiFastDrawingCheckbox, &QCheckBox::toggled, this, [this](bool on) { mModel.setFastDrawing(on); });
    connect(uiPerceptualModellingCheckbox, &QRadioButton::toggled, this, [this](bool on) { mModel.setPerceptual(on); });
    connect(uiReplaceDataCheckbox, &QRadioButton::toggled, this, [this](bool on) { mModel.setReplace(on); });
    connect(uiA4TuningField, &QDoubleSpinBox::valueChanged, this, [this](double hertz) { mModel.setA4Tuning(hertz); });
}

void KVPrefsPanelController::showValues() {
    const PreferenceValues v = mModel.values();
    uiChimeWhenDoneCheckbox->setChecked(v.chime);
    uiUseStartupSound->setChecked(v.startup);
    uiOpenFileOnLaunchCheckbox->setChecked(v.openFile);
    uiFastDrawingCheckbox->setChecked(v.fastDrawing);
    (v.perceptual ? uiPerceptualModellingCheckbox : uiHarmonicTrackingCheckbox)->setChecked(true);
    (v.replace ? uiReplaceDataCheckbox : uiAddDataCheckbox)->setChecked(true);
    uiA4TuningField->setValue(v.a4Tuning);
}

void KVPrefsPanelController::readPrefs() {
    mModel.readPrefs();
    showValues();
}

void KVPrefsPanelController::uiShowPanel() {
    readPrefs();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

void KVPrefsPanelController::uiSaveAndClosePrefs() {
    mModel.save();
    hide();
    if (mDelegate) mDelegate();
}

void KVPrefsPanelController::uiCancelAndClosePrefs() {
    readPrefs();
    hide();
}

// Escape and the window's close button cancel.
void KVPrefsPanelController::reject() {
    uiCancelAndClosePrefs();
    QDialog::reject();
}

}  // namespace orvex

#include "app/KVPrefsPanelController.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

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

    // Two columns, so that the panel stays low enough for small screens.
    auto* outer = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    auto* layout = new QVBoxLayout;
    columns->addLayout(layout);
    auto* right = new QVBoxLayout;
    right->addWidget(buildSeparationControls());
    right->addWidget(buildUndoControls());
    right->addStretch(1);
    columns->addLayout(right);
    outer->addLayout(columns);
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
    outer->addWidget(buttons);
}

QGroupBox* KVPrefsPanelController::buildSeparationControls() {
    uiSeparationMethodMenu = new QComboBox;
    uiSeparationMethodMenu->addItems({QStringLiteral("Floor of nearby frames"), QStringLiteral("Median filter")});
    uiSeparationMethodMenu->setAccessibleName(QStringLiteral("Separation method"));
    uiMedianTimeField = new QSpinBox;
    uiMedianTimeField->setRange(PreferenceValues::kShortestMedianMs, PreferenceValues::kLongestMedianMs);
    uiMedianTimeField->setSingleStep(100);
    uiMedianTimeField->setSuffix(QStringLiteral(" ms"));
    uiMedianTimeField->setAccessibleName(QStringLiteral("Median filter length in time"));
    uiMedianBandField = new QSpinBox;
    uiMedianBandField->setRange(PreferenceValues::kNarrowestMedianHz, PreferenceValues::kWidestMedianHz);
    uiMedianBandField->setSingleStep(5);
    uiMedianBandField->setSuffix(QStringLiteral(" Hz"));
    uiMedianBandField->setAccessibleName(QStringLiteral("Median filter length in frequency"));
    uiMedianPowerField = new QDoubleSpinBox;
    uiMedianPowerField->setRange(PreferenceValues::kLowestPowerTenths / 10.0, PreferenceValues::kHighestPowerTenths / 10.0);
    uiMedianPowerField->setDecimals(1);
    uiMedianPowerField->setSingleStep(0.5);
    uiMedianPowerField->setAccessibleName(QStringLiteral("Median mask power"));
    auto* box = new QGroupBox(QStringLiteral("Keep sustained / keep transients"));
    auto* form = new QFormLayout(box);
    form->addRow(QStringLiteral("Separation method:"), uiSeparationMethodMenu);
    form->addRow(QStringLiteral("Sustained holds for:"), uiMedianTimeField);
    form->addRow(QStringLiteral("Transients spread over:"), uiMedianBandField);
    form->addRow(QStringLiteral("Mask power:"), uiMedianPowerField);
    return box;
}

QGroupBox* KVPrefsPanelController::buildUndoControls() {
    uiUndoLevelsField = new QSpinBox;
    uiUndoLevelsField->setRange(PreferenceValues::kFewestUndoLevels, PreferenceValues::kMostUndoLevels);
    uiUndoLevelsField->setAccessibleName(QStringLiteral("Undo levels"));
    uiUndoDiskField = new QSpinBox;
    uiUndoDiskField->setRange(PreferenceValues::kLeastUndoPercent, PreferenceValues::kMostUndoPercent);
    uiUndoDiskField->setSuffix(QStringLiteral(" % of free space"));
    uiUndoDiskField->setAccessibleName(QStringLiteral("Undo disk share"));
    auto* box = new QGroupBox(QStringLiteral("Undo"));
    auto* form = new QFormLayout(box);
    form->addRow(QStringLiteral("Levels:"), uiUndoLevelsField);
    form->addRow(QStringLiteral("At most:"), uiUndoDiskField);
    return box;
}

void KVPrefsPanelController::enableMedianFields(bool on) {
    uiMedianTimeField->setEnabled(on);
    uiMedianBandField->setEnabled(on);
    uiMedianPowerField->setEnabled(on);
}

void KVPrefsPanelController::connectSeparationControls() {
    connect(uiSeparationMethodMenu, &QComboBox::currentIndexChanged, this, [this](int index) {
        mModel.setMedianSeparation(index == 1);
        enableMedianFields(index == 1);
    });
    connect(uiMedianTimeField, &QSpinBox::valueChanged, this, [this](int ms) { mModel.setMedianTimeMs(ms); });
    connect(uiMedianBandField, &QSpinBox::valueChanged, this, [this](int hertz) { mModel.setMedianBandHz(hertz); });
    connect(uiMedianPowerField, &QDoubleSpinBox::valueChanged, this,
            [this](double power) { mModel.setMedianPowerTenths(int(std::lround(power * 10.0))); });
    connect(uiUndoLevelsField, &QSpinBox::valueChanged, this, [this](int levels) { mModel.setUndoLevels(levels); });
    connect(uiUndoDiskField, &QSpinBox::valueChanged, this, [this](int percent) { mModel.setUndoDiskPercent(percent); });
}

void KVPrefsPanelController::connectControls() {
    connectSeparationControls();
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
    uiSeparationMethodMenu->setCurrentIndex(v.medianSeparation ? 1 : 0);
    enableMedianFields(v.medianSeparation);
    uiMedianTimeField->setValue(v.medianTimeMs);
    uiMedianBandField->setValue(v.medianBandHz);
    uiMedianPowerField->setValue(v.medianPowerTenths / 10.0);
    uiUndoLevelsField->setValue(v.undoLevels);
    uiUndoDiskField->setValue(v.undoDiskPercent);
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

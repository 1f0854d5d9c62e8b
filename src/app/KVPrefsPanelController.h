#pragma once

#include <QDialog>

#include <functional>

#include "application/PreferencesModel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QDoubleSpinBox;
class QRadioButton;
class QSpinBox;

namespace orvex {

// The preferences panel: check boxes for the chime, the start-up sound, the open dialog at
// start and fast drawing, two radio pairs (perceptual modelling / harmonic tracking,
// replace / add) and the pitch of A4 that names the analysis view's notes. Save writes the values and tells the delegate; Cancel, Escape and closing
// the panel drop the edits by reading the stored values again. GUI thread only.
class KVPrefsPanelController : public QDialog {
    Q_OBJECT
public:
    explicit KVPrefsPanelController(QWidget* parent = nullptr);

    // Called after a save (the application controller's preferences hook).
    void setDelegate(std::function<void()> delegate) { mDelegate = std::move(delegate); }

    void readPrefs();
    // Reads the preferences, sets the controls, centres and shows the panel.
    void uiShowPanel();
    void uiSaveAndClosePrefs();
    void uiCancelAndClosePrefs();

    bool openFileOnLaunch() const { return mModel.openFileOnLaunch(); }
    bool doFastDrawing() const { return mModel.doFastDrawing(); }
    const PreferencesModel& model() const { return mModel; }

    QCheckBox* uiChimeWhenDoneCheckbox;
    QCheckBox* uiUseStartupSound;
    QCheckBox* uiOpenFileOnLaunchCheckbox;
    QCheckBox* uiFastDrawingCheckbox;
    QRadioButton* uiPerceptualModellingCheckbox;
    QRadioButton* uiHarmonicTrackingCheckbox;
    QRadioButton* uiReplaceDataCheckbox;
    QRadioButton* uiAddDataCheckbox;
    QDoubleSpinBox* uiA4TuningField;
    QComboBox* uiSeparationMethodMenu;  // 0 described, 1 median filter
    QSpinBox* uiMedianTimeField;        // ms
    QSpinBox* uiMedianBandField;        // Hz
    QDoubleSpinBox* uiMedianPowerField;
    QSpinBox* uiUndoLevelsField;
    QSpinBox* uiUndoDiskField;  // percent

protected:
    void reject() override;

private:
    void buildControls();
    // The separation method and the median separator's fields, which wait for the median method.
    QGroupBox* buildSeparationControls();
    QGroupBox* buildUndoControls();
    void connectSeparationControls();
    void enableMedianFields(bool on);
    void showValues();
    void connectControls();

    PreferencesModel mModel;
    std::function<void()> mDelegate;
};

}  // namespace orvex

#include "app/KVExportPanels.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "platform/Platform.h"

namespace orvex {

QString KVExportPanels::proposedName(const QString& workingFilePath, const QString& tag) {
    return QString("%1 [%2].wav").arg(QFileInfo(workingFilePath).completeBaseName(), tag);
}

QString KVExportPanels::askForPath(QWidget* parent, const QString& workingFilePath, const QString& title,
                                   const QString& prompt, const QString& tag) {
    QFileDialog panel(parent, title, QFileInfo(workingFilePath).absolutePath());
    panel.setObjectName("uiExportPanel");
    panel.setAccessibleName(title);
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setNameFilter("WAVE files (*.wav)");
    panel.setDefaultSuffix("wav");
    panel.setLabelText(QFileDialog::Accept, prompt);
    panel.setLabelText(QFileDialog::FileName, "Export As");
    panel.selectFile(proposedName(workingFilePath, tag));
    if (parent) panel.setWindowModality(Qt::WindowModal);
    const QStringList chosen = panel.exec() == QDialog::Accepted ? panel.selectedFiles() : QStringList{};
    if (chosen.isEmpty() || QFileInfo(chosen.front()).fileName().isEmpty()) {
        Platform::shared().beep();
        return {};
    }
    QString path = chosen.front();
    if (!path.endsWith(".wav", Qt::CaseInsensitive)) path += ".wav";
    return path;
}

QString KVExportPanels::askForMasterExportPath(QWidget* parent, const QString& workingFilePath) {
    return askForPath(parent, workingFilePath, "Export Audio File", "Export", "edited");
}

QString KVExportPanels::askForSegmentExportPath(QWidget* parent, const QString& workingFilePath) {
    return askForPath(parent, workingFilePath, "Export Segment as Audio File", "Export Segment", "segment");
}

QString KVExportPanels::askForStemsExportPath(QWidget* parent, const QString& workingFilePath) {
    return askForPath(parent, workingFilePath, "Export Stems", "Export Stems", "stems");
}

bool KVExportPanels::confirmResetMaster() {
    return Platform::shared().runAlert("Reset Master Audio File?",
                                       "Resetting your master audio file will undo all edits that you have made so "
                                       "far. Are you sure you want to do this?",
                                       {"Yes", "Cancel"}) == AlertButton::Default;
}

}  // namespace orvex

#pragma once

#include <QString>

class QWidget;

namespace orvex {

// The window side of the exports and of the master reset: the save panels with the names they
// propose, and the confirmation before the master is reset. GUI thread.
class KVExportPanels {
public:
    // "<name> [tag].wav", name being the working file's name without its extension.
    static QString proposedName(const QString& workingFilePath, const QString& tag);
    // A save panel in the working file's folder proposing proposedName(workingFilePath, tag);
    // the chosen path always ends in ".wav". Cancel, or no file name, beeps and gives "".
    static QString askForPath(QWidget* parent, const QString& workingFilePath, const QString& title,
                              const QString& prompt, const QString& tag);
    // "Export Audio File" proposing "<name> [edited].wav".
    static QString askForMasterExportPath(QWidget* parent, const QString& workingFilePath);
    // "Export Segment as Audio File" proposing "<name> [segment].wav".
    static QString askForSegmentExportPath(QWidget* parent, const QString& workingFilePath);
    // "Export Stems" proposing "<name> [stems].wav", the name the two stems are named after.
    static QString askForStemsExportPath(QWidget* parent, const QString& workingFilePath);
    // "Reset Master Audio File?" answered with "Yes" (default) or "Cancel"; true on Yes.
    static bool confirmResetMaster();
};

}  // namespace orvex

#pragma once

#include <QIcon>
#include <QString>

namespace orvex {

// The application's resources for the Qt side, found by ResourceFinder (installed prefix or
// build tree). GUI thread only (the icon is cached).
class AppResources {
public:
    AppResources() = delete;

    // Path of "name.type", empty when it is nowhere to be found.
    static QString path(const QString& name, const QString& type);
    // The application icon at every size shipped.
    static QIcon applicationIcon();
};

}  // namespace orvex

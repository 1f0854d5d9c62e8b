#include "app/AppResources.h"

#include "application/ResourceFinder.h"

namespace orvex {

QString AppResources::path(const QString& name, const QString& type) {
    const auto found = ResourceFinder::forCurrentProcess().pathForResource(name.toStdString(), type.toStdString());
    return found ? QString::fromStdString(found->string()) : QString();
}

QIcon AppResources::applicationIcon() {
    static const QIcon icon = [] {
        QIcon built;
        for (const char* size : {"48", "128", "256"}) {
            const QString file = path(QStringLiteral("icons/orvex-%1").arg(QLatin1String(size)), QStringLiteral("png"));
            if (!file.isEmpty()) built.addFile(file);
        }
        return built;
    }();
    return icon;
}

}  // namespace orvex

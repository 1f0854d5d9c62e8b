#include "app/LaunchArguments.h"

namespace orvex {

LaunchArguments LaunchArguments::parse(const QStringList& arguments) {
    LaunchArguments parsed;
    bool options = true;
    for (const QString& argument : arguments) {
        if (options && argument == "--") {
            options = false;
        } else if (options && argument == "--verbose") {
            parsed.verbose = true;
        } else {
            parsed.files << argument;
        }
    }
    return parsed;
}

}  // namespace orvex

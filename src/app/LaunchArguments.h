#pragma once

#include <QStringList>

namespace orvex {

// The desktop program's command line: the sound files to open and "--verbose", which lets the
// audio engine and the file writer print their diagnostics on standard error (silent
// otherwise). A "--" ends the options, so that a file may be called "--verbose".
struct LaunchArguments {
    QStringList files;
    bool verbose = false;

    // From the program's arguments without the program's own name.
    static LaunchArguments parse(const QStringList& arguments);
};

}  // namespace orvex

#pragma once

#include <functional>
#include <string>

#include "platform/PropertyList.h"

namespace orvex {

// Changes to the parameter dictionary of one file's analysis, key by key. Each change reads
// the stored dictionary, lets the caller set or remove its own keys and writes the result
// atomically, all under one lock of the process: the analysis runner on its worker thread and
// the window's controllers on the main thread write the same file, and a writer that kept a
// copy from earlier and wrote it back whole would undo the others' keys (the mode the user
// chose, the analysis-complete flags).
class KVParamDictionary {
public:
    using Edit = std::function<void(PropertyList&)>;

    // Whether the change also stamps the dictionary with its path and the current format
    // version (done where the stored analysis is opened or written in the current format).
    enum class Stamp { No, CurrentVersion };

    // path: the working sound file or file-set base. A change that leaves the stored
    // dictionary as it was writes nothing. False when the dictionary could not be written.
    static bool change(const std::string& path, const Edit& edit, Stamp stamp = Stamp::No);
    // Writes a whole dictionary in place of the stored one, under the same lock.
    static bool replace(const std::string& path, const PropertyList& dict);
};

}  // namespace orvex

// Parameter-dictionary reader: any bytes stored as the analysis folder's dictionary (XML or
// binary property list) parse or are refused, every value reads through every getter, the
// stored version check answers, and a parsed dictionary survives writing and reading back.

#include <cstdlib>
#include <string>

#include "FuzzScratch.h"
#include "platform/PropertyList.h"
#include "utilities/KVUtilities.h"

namespace {

using orvex::PropertyList;

void readEveryValue(const PropertyList& dict) {
    for (const auto& [key, value] : dict.values()) {
        dict.getBool(key);
        dict.getInt(key);
        dict.getReal(key);
        dict.getString(key);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto dict = PropertyList::fromBytes(bytes);
    if (dict) {
        readEveryValue(*dict);
        // What the system writes it must read back as the same dictionary.
        const std::string xml = dict->toXml();
        const auto again = PropertyList::fromBytes(xml);
        if (!again || again->toXml() != xml) std::abort();
    }
    // The same bytes as the stored dictionary of a working file d/p.wav (d/p.analysis/p.plist).
    const auto& scratch = orvex::fuzz::FuzzScratch::shared();
    const std::string sound = scratch.path("p.wav");
    const std::string stored = orvex::KVUtilities::paramDictPathForAnalysisOfFileAtPath(sound);
    scratch.write("p.analysis/p.plist", data, size);
    if (stored != scratch.path("p.analysis/p.plist")) std::abort();
    orvex::KVUtilities::chunkFileForFileAtPathIsCompatible(sound);
    readEveryValue(orvex::KVUtilities::paramDictForAnalysisOfFileAtPath(sound));
    return 0;
}

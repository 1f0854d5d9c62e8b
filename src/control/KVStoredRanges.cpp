#include "control/KVStoredRanges.h"

#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"

namespace orvex {

bool KVStoredRanges::analysisRangeForFileAtPath(const std::string& path, FramePos& start, FramePos& end) {
    start = 0;
    end = 0;
    const PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(path);
    start = dict.getInt(paramkeys::kAnalysisStartFrame);
    end = dict.getInt(paramkeys::kAnalysisEndFrame);
    return true;
}

}  // namespace orvex

#pragma once

#include <cstdint>
#include <string>

#include "common/Types.h"

namespace orvex {

class KVAudioFileWriter;

// Whose converted working copy a file is. Two sources with one name in one folder ("take.aif"
// and "take.flac") would both be given "take[orvx].wav" and its analysis folder, so both
// carry the file name of the source they belong to: the copy in a chunk of its own ("orvx",
// written before the audio; the exports carry only "bext" and "iXML" on, so it never leaves
// the copy), the analysis folder in its dictionary (it outlives a copy deleted on closing). A
// name is taken when either names another source. A copy that names nothing (made before
// copies carried the name) counts as the source's when its folder names it, else when its
// shape is the source's: channels and converted length. Any thread; reads files only, except
// recordInAnalysisFolder.
class WorkingCopyOwner {
public:
    static constexpr std::uint32_t kChunkId = fourCC("orvx");

    enum class Verdict {
        Absent,   // nothing at the copy's path
        Ours,     // the copy of this source
        Another,  // something else: another source's copy, or a file that is no copy of this one
    };

    // What the source is and converts to.
    struct Source {
        std::string path;
        std::int32_t channels = 0;
        FrameCount frames = 0;  // at 44 100 Hz
    };

    static Verdict of(const std::string& copy, const Source& source);
    // Stores the name of source in writer before its first frames.
    static void record(KVAudioFileWriter& writer, const std::string& source);
    // Records source in the dictionary of copy's analysis folder (which must exist), unless it
    // names a source already.
    static void recordInAnalysisFolder(const std::string& copy, const std::string& source);
};

}  // namespace orvex

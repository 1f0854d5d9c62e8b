#include "document/WorkingCopyOwner.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "audiofile/DecoderBackend.h"
#include "audiofile/KVAudioFileWriter.h"
#include "document/KVOpenFileCheck.h"
#include "platform/Platform.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"
#include "utilities/KVParamDictionary.h"

namespace orvex {

namespace {

// The name in a chunk, without the zero bytes a reader may pad it with.
std::string nameIn(const std::vector<std::uint8_t>& bytes) {
    std::string name(bytes.begin(), bytes.end());
    name.erase(name.find_last_not_of('\0') + 1);
    return name;
}

// The source the copy's analysis folder names, read without making the folder.
std::string sourceInDictionary(const std::string& copy) {
    std::error_code error;
    if (!std::filesystem::is_directory(KVUtilities::analysisFolderPathOfFileAtPath(copy), error)) return {};
    const auto dict = Platform::shared().readDictionary(KVUtilities::paramDictPathForAnalysisOfFileAtPath(copy));
    return dict ? dict->getString(paramkeys::kConvertedFrom) : std::string();
}

}  // namespace

WorkingCopyOwner::Verdict WorkingCopyOwner::of(const std::string& copy, const Source& source) {
    const std::string name = displayNameOfPath(source.path);
    const std::string folderOwner = sourceInDictionary(copy);
    if (!folderOwner.empty() && folderOwner != name) return Verdict::Another;
    struct stat info {};
    if (::lstat(copy.c_str(), &info) != 0) return Verdict::Absent;
    if (!S_ISREG(info.st_mode)) return Verdict::Another;
    Status status = 0;
    const std::unique_ptr<DecoderBackend> decoder = DecoderBackend::openFile(copy, status);
    const std::string copyOwner = decoder ? nameIn(decoder->chunk(kChunkId, 0)) : std::string();
    if (!copyOwner.empty()) return copyOwner == name ? Verdict::Ours : Verdict::Another;
    if (!folderOwner.empty()) return Verdict::Ours;
    if (!decoder) return Verdict::Another;
    const DecodedFormat& format = decoder->format();
    const bool shaped = format.sampleRate == kWorkingSampleRate && format.channels == source.channels &&
                        format.length == source.frames;
    return shaped ? Verdict::Ours : Verdict::Another;
}

void WorkingCopyOwner::recordInAnalysisFolder(const std::string& copy, const std::string& source) {
    const std::string name = displayNameOfPath(source);
    KVParamDictionary::change(copy, [&name](PropertyList& dict) {
        if (dict.getString(paramkeys::kConvertedFrom).empty()) dict.setString(paramkeys::kConvertedFrom, name);
    });
}

void WorkingCopyOwner::record(KVAudioFileWriter& writer, const std::string& source) {
    const std::string name = displayNameOfPath(source);
    writer.setUserData(name.data(), kChunkId, 0, static_cast<std::uint32_t>(name.size()));
}

}  // namespace orvex

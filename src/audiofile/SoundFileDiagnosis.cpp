#include "audiofile/SoundFileDiagnosis.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace orvex {

namespace {

using Problem = SoundFileDiagnosis::Problem;

constexpr const char* kAnalysisHint = "If this is a Orvex analysis file please open the original sound file instead.";

// True when path is, or lies inside, an analysis folder ("NAME.analysis").
bool inAnalysisFolder(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    for (const std::filesystem::path& part : absolute)
        if (part.extension() == ".analysis") return true;
    return false;
}

// Up to length bytes at offset (fewer at the end of the file or on a read error).
std::string bytesAt(int fd, std::uint64_t offset, std::size_t length) {
    std::string bytes(length, '\0');
    const ssize_t got = ::pread(fd, bytes.data(), length, static_cast<off_t>(offset));
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

std::uint32_t numberAt(const std::string& bytes, std::size_t at, int width, bool bigEndian) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[at + (bigEndian ? i : width - 1 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

struct Chunk {
    std::string id;
    std::uint64_t offset;  // of the chunk's data
    std::uint32_t size;
};

// The chunks of a RIFF or IFF file after its 12-byte header: 8-byte headers with sizes in the
// file's byte order, each padded to an even length. Stops at the end or at a header cut short.
std::vector<Chunk> chunksOf(int fd, std::uint64_t end, bool bigEndian) {
    std::vector<Chunk> chunks;
    for (std::uint64_t at = 12; at + 8 <= end && chunks.size() < 256;) {
        const std::string header = bytesAt(fd, at, 8);
        if (header.size() < 8) break;
        const std::uint32_t size = numberAt(header, 4, 4, bigEndian);
        chunks.push_back({header.substr(0, 4), at + 8, size});
        at += 8 + std::uint64_t(size) + (size & 1);
    }
    return chunks;
}

const Chunk* findChunk(const std::vector<Chunk>& chunks, std::string_view id) {
    const auto found = std::find_if(chunks.begin(), chunks.end(), [id](const Chunk& c) { return c.id == id; });
    return found == chunks.end() ? nullptr : &*found;
}

SoundFileDiagnosis damaged(const char* format, const std::string& detail) {
    SoundFileDiagnosis diagnosis;
    diagnosis.problem = Problem::Damaged;
    diagnosis.sentence = std::string("This ") + format + " file is damaged: " + detail + ".";
    return diagnosis;
}

SoundFileDiagnosis unsupported(std::string sentence) {
    SoundFileDiagnosis diagnosis;
    diagnosis.problem = Problem::UnsupportedFormat;
    diagnosis.sentence = std::move(sentence);
    return diagnosis;
}

// Encodings of WAVE files that the decoders read: PCM, ADPCM, float, A-law, mu-law, GSM, G.721,
// MPEG and the extensible header.
bool decodableWaveTag(std::uint32_t tag) {
    constexpr std::uint32_t kTags[] = {0x0001, 0x0002, 0x0003, 0x0006, 0x0007, 0x0011,
                                       0x0031, 0x0040, 0x0050, 0x0055, 0xFFFE};
    return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

SoundFileDiagnosis ofWave(int fd, std::uint64_t size) {
    const std::vector<Chunk> chunks = chunksOf(fd, size, false);
    const Chunk* fmt = findChunk(chunks, "fmt ");
    const std::string format = fmt && fmt->size >= 16 ? bytesAt(fd, fmt->offset, 16) : std::string();
    if (format.size() < 16) return damaged("WAVE", "it has no complete format chunk");
    const std::uint32_t tag = numberAt(format, 0, 2, false), channels = numberAt(format, 2, 2, false);
    const std::uint32_t rate = numberAt(format, 4, 4, false), bits = numberAt(format, 14, 2, false);
    char text[160];
    if (!decodableWaveTag(tag)) {
        std::snprintf(text, sizeof text,
                      "This is a WAVE file in an encoding that is not supported (format tag 0x%04X).", tag);
        return unsupported(text);
    }
    if (channels == 0 || rate == 0) {
        std::snprintf(text, sizeof text, "its format chunk gives %u channels at %u Hz", channels, rate);
        return damaged("WAVE", text);
    }
    if (!findChunk(chunks, "data")) return damaged("WAVE", "it has no audio data chunk");
    std::snprintf(text, sizeof text, "its header (%u channels, %u Hz, %u bits) cannot be decoded", channels, rate, bits);
    return damaged("WAVE", text);
}

// Compression types of AIFF-C files that the decoders read.
bool decodableAifcType(const std::string& type) {
    constexpr std::string_view kTypes[] = {"NONE", "sowt", "twos", "raw ", "in24", "in32", "42ni", "23ni", "fl32",
                                           "FL32", "fl64", "FL64", "ulaw", "ULAW", "alaw", "ALAW", "ima4", "GSM "};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

SoundFileDiagnosis ofAiff(int fd, std::uint64_t size, bool compressed) {
    const std::vector<Chunk> chunks = chunksOf(fd, size, true);
    const Chunk* comm = findChunk(chunks, "COMM");
    const std::string common = comm && comm->size >= 18 ? bytesAt(fd, comm->offset, 22) : std::string();
    if (common.size() < 18) return damaged("AIFF", "it has no complete COMM chunk");
    if (compressed && common.size() >= 22 && !decodableAifcType(common.substr(18, 4)))
        return unsupported("This is an AIFF-C file with a compression that is not supported ('" + common.substr(18, 4) +
                           "').");
    if (numberAt(common, 0, 2, true) == 0) return damaged("AIFF", "its COMM chunk gives 0 channels");
    if (!findChunk(chunks, "SSND")) return damaged("AIFF", "it has no sound data chunk");
    return damaged("AIFF", "its header cannot be decoded");
}

// Ogg is a container: only the Vorbis, Opus and FLAC inside it are sound Orvex reads.
SoundFileDiagnosis ofOgg(const std::string& head) {
    const std::string_view codec = head.size() > 28 ? std::string_view(head).substr(28) : std::string_view();
    for (std::string_view known : {std::string_view("\x01vorbis"), std::string_view("OpusHead"),
                                   std::string_view("\x7f" "FLAC")})
        if (codec.substr(0, known.size()) == known) return damaged("Ogg", "its audio cannot be decoded");
    return unsupported("This is an Ogg file that holds no Vorbis, Opus or FLAC audio (perhaps video or another "
                       "encoding), which is not supported.");
}

struct Signature {
    std::size_t offset;
    std::string_view bytes;
    const char* name;
};

// Sound formats that one of the decoders reads, by the bytes they begin with: when such a file
// is refused, it is damaged (or cut short).
constexpr Signature kReadable[] = {
    {0, "fLaC", "FLAC"},          {0, "ID3", "MP3"},       {4, "ftyp", "MPEG-4 audio"},
    {0, "caff", "CAF"},           {0, ".snd", "AU"},        {0, "riff\x2e\x91\xcf\x11", "Wave64"},
    {0, "MAC ", "APE"},           {0, "wvpk", "WavPack"},   {0, "#!AMR", "AMR"},
    {0, "\x30\x26\xb2\x75\x8e\x66\xcf\x11", "WMA"},        {0, "Creative Voice File", "VOC"},
    {0, "TTA1", "TTA"},           {0, "MPCK", "Musepack"},  {0, "NIST_1A", "NIST SPHERE"},
    {0, "DSD ", "DSF"},           {0, "FRM8", "DSDIFF"},    {8, "8SVX", "8SVX"},
};

bool matches(const std::string& head, const Signature& signature) {
    if (head.size() < signature.offset + signature.bytes.size()) return false;
    return std::string_view(head).substr(signature.offset, signature.bytes.size()) == signature.bytes;
}

// An MPEG audio frame header: 11 sync bits, then a layer other than 0 (layer 0 is AAC's ADTS).
bool mpegAudioSync(const std::string& head) {
    if (head.size() < 2 || static_cast<std::uint8_t>(head[0]) != 0xff) return false;
    return (static_cast<std::uint8_t>(head[1]) & 0xe0) == 0xe0;
}

}  // namespace

SoundFileDiagnosis SoundFileDiagnosis::made(Problem problem, std::string sentence) {
    SoundFileDiagnosis diagnosis;
    diagnosis.problem = problem;
    diagnosis.sentence = std::move(sentence);
    return diagnosis;
}

SoundFileDiagnosis SoundFileDiagnosis::ofSilentFile() {
    return made(Problem::NoAudio, "The sound file holds no audio (0 frames).");
}

SoundFileDiagnosis SoundFileDiagnosis::ofUnreadableFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int reason = errno;
        if (reason == EACCES) return made(Problem::PermissionDenied, "Permission denied: a folder on its path may not be entered.");
        return made(Problem::NotFound, reason == ENOENT || reason == ENOTDIR
                                           ? std::string("There is no such file.")
                                           : std::string("It cannot be reached: ") + std::strerror(reason) + ".");
    }
    if (S_ISDIR(info.st_mode))
        return made(Problem::IsFolder, inAnalysisFolder(path) ? "This is an analysis folder, not a sound file. Open "
                                                                "the original sound file beside it instead."
                                                              : "This is a folder, not a sound file.");
    if (!S_ISREG(info.st_mode))
        return made(Problem::NotRegularFile, "This is not a regular file (a device, pipe or socket).");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int reason = errno;
        if (reason == EACCES || reason == EPERM)
            return made(Problem::PermissionDenied, "Permission denied: you may not read this file.");
        return made(Problem::Damaged, std::string("It cannot be read: ") + std::strerror(reason) + ".");
    }
    SoundFileDiagnosis diagnosis = info.st_size == 0 ? made(Problem::Empty, "The file is empty (0 bytes).")
                                                     : ofContents(path, fd, info.st_size);
    ::close(fd);
    return diagnosis;
}

SoundFileDiagnosis SoundFileDiagnosis::ofContents(const std::string& path, int fd, long long size) {
    const std::string head = bytesAt(fd, 0, 64);
    const auto size64 = static_cast<std::uint64_t>(size);
    const std::string_view magic = std::string_view(head).substr(0, 4);
    const std::string_view form = head.size() >= 12 ? std::string_view(head).substr(8, 4) : std::string_view();
    if ((magic == "RIFF" || magic == "RF64" || magic == "BW64") && form == "WAVE") return ofWave(fd, size64);
    if (magic == "FORM" && (form == "AIFF" || form == "AIFC")) return ofAiff(fd, size64, form == "AIFC");
    if (magic == "OggS") return ofOgg(head);
    if (magic == "MThd")
        return unsupported("This is a MIDI file: it holds notes, not recorded sound, and is not a format Orvex opens.");
    for (const Signature& signature : kReadable)
        if (matches(head, signature)) return damaged(signature.name, "it cannot be decoded (it may be cut short)");
    if (mpegAudioSync(head)) return damaged("MPEG audio", "it cannot be decoded (it may be cut short)");
    std::string sentence = "This is not an audio file: its contents are in no sound file format.";
    if (inAnalysisFolder(path)) sentence += std::string("\n\n") + kAnalysisHint;
    return made(Problem::NotAudio, sentence);
}

}  // namespace orvex

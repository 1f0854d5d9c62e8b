#pragma once

#include <string>

namespace orvex {

// Why a sound file cannot be opened, in words a user can act on. The decoders' own codes say
// little (a folder, a text file and a damaged header all come back as "format not
// recognised"), so the path is examined directly: what kind of entry it names, whether it may
// be read, and what its first bytes are. Any thread; touches nothing but the path.
class SoundFileDiagnosis {
public:
    enum class Problem {
        None,
        NotFound,
        IsFolder,
        NotRegularFile,
        PermissionDenied,
        Empty,
        NotAudio,
        UnsupportedFormat,
        Damaged,
        NoAudio
    };

    // The reason for a path that no decoder opened. A path that turns out readable and
    // recognisable is still given a reason (Damaged): the decoders refused it.
    static SoundFileDiagnosis ofUnreadableFile(const std::string& path);
    // A sound file that opened but holds no frames.
    static SoundFileDiagnosis ofSilentFile();

    Problem problem = Problem::None;
    // One or two sentences for the user, without the file's name (the alert's title has it).
    std::string sentence;

private:
    static SoundFileDiagnosis made(Problem problem, std::string sentence);
    static SoundFileDiagnosis ofContents(const std::string& path, int fd, long long size);
};

}  // namespace orvex

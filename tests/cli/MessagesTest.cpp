// What orvex-cli says when a file cannot be opened, a number lies out of range or an export
// may not be written: each case its own reason, as one line with its exit code (1 for a file,
// 2 for an argument), and no wrapped-round numbers.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "CliRunner.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

class MessagesTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
        ::chmod(mTemp.path().c_str(), 0777);  // an unprivileged child works in here too
    }
    // Exactly one message line on standard error (after any progress bar), containing every one
    // of words, and exitCode.
    static void saysOnly(const CliRun& run, int exitCode, const std::vector<std::string>& words) {
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        EXPECT_EQ(run.err.find("orvex-cli: "), run.err.rfind("orvex-cli: ")) << run.err;
        for (const std::string& word : words) EXPECT_NE(errorLine(run.err).find(word), std::string::npos) << run.err;
    }
    std::string q(const std::string& name) const { return "'" + mTemp.file(name) + "'"; }

    TempDir mTemp;
};

// A RIFF WAVE file of the given body after "WAVE" (chunks laid by hand).
void writeRiff(const std::string& path, const std::string& body) {
    std::string file = "RIFF";
    const auto size = static_cast<std::uint32_t>(body.size() + 4);
    file.append(reinterpret_cast<const char*>(&size), 4);
    std::ofstream(path, std::ios::binary) << file << "WAVE" << body;
}

std::string chunk(const std::string& id, const std::string& data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    return id + std::string(reinterpret_cast<const char*>(&size), 4) + data;
}

TEST_F(MessagesTest, EachUnreadableFileSaysWhatIsWrongWithIt) {
    std::ofstream(mTemp.file("notes.wav")) << "a shopping list\n";
    std::ofstream(mTemp.file("empty.wav"));
    fs::create_directory(mTemp.file("takes.wav"));
    std::ofstream(mTemp.file("song.mid"), std::ios::binary) << std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
    // Format tag 0x1234 (no decoder knows it), one channel at 44.1 kHz, 16 bits.
    const std::string format("\x34\x12\x01\x00\x44\xac\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00", 16);
    writeRiff(mTemp.file("strange.wav"), chunk("fmt ", format) + chunk("data", std::string(8, '\0')));
    writeRiff(mTemp.file("cut.wav"), chunk("fmt ", std::string(6, '\0')));
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"notes.wav", {"\"notes.wav\"", "not an audio file"}},
        {"empty.wav", {"empty (0 bytes)"}},
        {"takes.wav", {"is a folder"}},
        {"song.mid", {"MIDI", "not a format"}},
        {"strange.wav", {"encoding that is not supported", "0x1234"}},
        {"cut.wav", {"WAVE file is damaged", "no complete format chunk"}},
    };
    for (const auto& [name, words] : cases) {
        for (const char* command : {"info ", "analyse "}) {
            SCOPED_TRACE(std::string(command) + name);
            saysOnly(runCli(command + q(name)), 1, words);
            EXPECT_EQ(runCli(command + q(name)).err.find("Access to this file has been denied"), std::string::npos);
        }
    }
    saysOnly(runCli("info " + q("gone.wav")), 1, {"No such file"});

    const std::string locked = mTemp.file("locked.wav");
    writeWave(locked, {sine(440.0, 44100.0, 4410, 0.3)}, 44100);
    ::chmod(locked.c_str(), 0600);
    const int code = runUnprivileged([&] {
        const CliRun run = runCli("analyse '" + locked + "'");
        return run.exitCode == 1 && errorLine(run.err).find("Permission denied") != std::string::npos ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(MessagesTest, NumbersOutOfRangeNameTheValueAndTheRange) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, {sine(220.0, 44100.0, 3 * 44100, 0.3)}, 44100);
    ASSERT_EQ(runCli("analyse '" + take + "'").exitCode, 0);
    const std::string file = " '" + take + "' ";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"edit" + file + "box --from-frame 1e18 --to-frame 1e19 --low 100 --high 200",
         {"--from-frame", "1e18", "out of range", "0 to 29767500"}},
        {"edit" + file + "box --from-frame 0 --to-frame 1e19 --low 100 --high 200", {"1e19", "0 to 29767500"}},
        {"analyse" + file + "--start 1e300 --end 1e301", {"--start", "1e300", "0 to 86400 s"}},
        {"analyse" + file + "--start 0 --end -5", {"--end", "-5", "0 to 86400 s"}},
        {"process" + file + "--start 0 --end inf --keep sustained -o x.wav", {"inf", "not a finite number"}},
        {"edit" + file + "box --from 0 --to 1 --low 100 --high 30000", {"30000", "above 0 to 22050 Hz"}},
        {"edit" + file + "box --from 0 --to 1 --low 0 --high 200", {"--low", "above 0 to 22050 Hz"}},
        {"edit" + file + "box --from 0 --to 1 --low-pitch 300 --high-pitch 1e7", {"1e7", "0 to 1500 sixths"}},
        {"edit" + file + "pencil --path 0:440,1:440,1e9:440", {"--path", "1e9", "0 to 86400 s"}},
        {"edit" + file + "pencil --frame-path 0:414,5:414,9:-3", {"--frame-path", "-3", "0 to 1500 sixths"}},
    };
    for (const auto& [arguments, words] : cases) {
        SCOPED_TRACE(arguments);
        const CliRun run = runCli(arguments);
        saysOnly(run, 2, words);
        EXPECT_EQ(run.err.find("9223372036854775808"), std::string::npos);
        EXPECT_EQ(run.err.find("not after its start"), std::string::npos);
    }
}

TEST_F(MessagesTest, AnExportIntoAFolderThatMayNotBeWrittenSaysPermissionDenied) {
    const fs::path work = mTemp.path() / "work", closed = mTemp.path() / "closed";
    fs::create_directories(work);
    fs::create_directories(closed);
    ::chmod(work.c_str(), 0777);
    ::chmod(closed.c_str(), 0555);
    const std::string take = (work / "take.wav").string();
    writeWave(take, {sine(220.0, 44100.0, 3 * 44100, 0.3)}, 44100);
    ::chmod(take.c_str(), 0666);
    const std::string target = (closed / "out.wav").string();
    const int code = runUnprivileged([&] {
        const CliRun run = runCli("export '" + take + "' '" + target + "' --master");
        const std::string line = errorLine(run.err);
        const bool said = line.find("Error creating file") != std::string::npos &&
                          line.find("permission denied") != std::string::npos &&
                          line.find(closed.string()) != std::string::npos &&
                          line.find("illegal characters") == std::string::npos;
        return run.exitCode == 1 && said ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists(target));
    // A missing folder is named as missing.
    const CliRun missing = runCli("export '" + take + "' '" + mTemp.file("none/out.wav") + "' --master");
    saysOnly(missing, 1, {"Error creating file", "does not exist"});
}

}  // namespace
}  // namespace orvex::test

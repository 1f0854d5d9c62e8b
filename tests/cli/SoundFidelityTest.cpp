#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "CliRunner.h"
#include "support/Shell.h"
#include "support/TempDir.h"

// What the command line gives back against what it was given, measured by an independent
// numpy program (sound_fidelity.py: it generates the signals, renders music with fluidsynth,
// drives orvex-cli and compares the exports with the sources). This test holds the limits.
namespace orvex::test {
namespace {

std::map<std::string, double> parseFigures(const std::string& json) {
    std::map<std::string, double> figures;
    const std::regex entry("\"([a-z0-9_]+)\": (-?[0-9.eE+-]+|Infinity|-Infinity)");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), entry); it != std::sregex_iterator(); ++it) {
        const std::string value = (*it)[2];
        figures[(*it)[1]] = value == "Infinity" ? 1e9 : value == "-Infinity" ? -1e9 : std::stod(value);
    }
    return figures;
}

TEST(SoundFidelity, WhatIsKeptComesBackAtItsOwnLevelAndTime) {
    TempDir work;
    const std::string script = std::string(ORVEX_SOURCE_DIR_PATH) + "/tests/cli/sound_fidelity.py";
    int exitCode = -1;
    const std::string out = runCommand("/usr/bin/python3 '" + script + "' '" + cliProgram() + "' '" +
                                           ORVEX_SOURCE_DIR_PATH + "' '" + work.path().string() + "'",
                                       &exitCode);
    ASSERT_EQ(exitCode, 0) << out;
    auto figures = parseFigures(out);
    ASSERT_EQ(figures.size(), 17u) << out;
    // Select all, export: the source back, sample for sample.
    EXPECT_EQ(figures["sines_length_difference"], 0);
    EXPECT_GT(figures["sines_select_all_worst_snr"], 60);
    EXPECT_GT(figures["sines_select_all_snr"], 60);
    EXPECT_LT(figures["sines_select_all_worst_level"], 0.1);
    EXPECT_LT(figures["noise_response_worst"], 0.1);
    EXPECT_LT(std::abs(figures["noise_lag"]), 0.05);
    EXPECT_EQ(figures["music_length_difference"], 0);
    EXPECT_GT(figures["music_select_all_snr_below_16k"], 60);
    EXPECT_GT(figures["music_select_all_snr"], 50);
    EXPECT_LT(std::abs(figures["music_first_100ms_level"]), 0.5);
    EXPECT_LT(std::abs(figures["music_last_100ms_level"]), 0.5);
    // Committed, the master is the source inside the segment and untouched outside it.
    EXPECT_EQ(figures["master_length_difference"], 0);
    EXPECT_GT(figures["master_snr"], 50);
    EXPECT_LT(figures["master_outside_peak_dbfs"], -90);
    // Keep sustained keeps a steady sine at its level, and nothing clips.
    EXPECT_LT(figures["sines_sustained_worst_level"], 0.5);
    EXPECT_EQ(figures["sines_sustained_clipped"], 0);
    // Keep transients gives a click back at its peak level.
    EXPECT_LT(figures["clicks_transients_worst_peak_level"], 1.0);
}

}  // namespace
}  // namespace orvex::test

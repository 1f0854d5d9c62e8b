#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace orvex::cli {

// The ranges that numbers on the command line must lie in, and the sentence refusing one that
// lies outside. The bounds reach far beyond any working file (24 hours) yet stay well inside
// what the later conversions hold (frames as 64-bit integers, pitches as 32-bit rows), so a
// value like 1e19 is named as out of range instead of wrapping round.
class CliNumberRange {
public:
    enum class Unit { Seconds, Frames, Pitch, Hertz };

    CliNumberRange() = delete;

    // Empty when text is a finite number in unit's range; else the refusal, naming the value
    // and the range ("1e19 is out of range: analysis frames go from 0 to 29767500 (24 hours)").
    static std::string refusal(const std::string& text, Unit unit);
    // The same check for an option taking a number of unit (CLI11 puts the option's name first).
    static CLI::Validator validator(Unit unit);
};

}  // namespace orvex::cli

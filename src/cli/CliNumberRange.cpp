#include "CliNumberRange.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/Types.h"
#include "dsp/DisplayColumn.h"

namespace orvex::cli {

namespace {

constexpr double kLongestSeconds = 24.0 * 3600.0;

struct Range {
    const char* what;
    double low;
    bool lowExcluded;
    double high;
    const char* unit;
};

Range rangeOf(CliNumberRange::Unit unit) {
    switch (unit) {
        case CliNumberRange::Unit::Seconds:
            return {"times", 0.0, false, kLongestSeconds, " s (24 hours)"};
        case CliNumberRange::Unit::Frames:
            return {"analysis frames", 0.0, false, std::floor(kLongestSeconds * kWorkingSampleRate / kAnalysisHop),
                    " (24 hours)"};
        case CliNumberRange::Unit::Pitch:
            return {"pitches", 0.0, false, double(kDisplayRowCount), " sixths of a semitone"};
        case CliNumberRange::Unit::Hertz:
            break;
    }
    return {"frequencies", 0.0, true, kWorkingSampleRate / 2.0, " Hz (half the working rate)"};
}

std::string rangeText(const Range& range) {
    char text[160];
    std::snprintf(text, sizeof text, "%s go from %s%.0f to %.0f%s", range.what, range.lowExcluded ? "above " : "",
                  range.low, range.high, range.unit);
    return text;
}

}  // namespace

std::string CliNumberRange::refusal(const std::string& text, Unit unit) {
    const Range range = rangeOf(unit);
    char* end = nullptr;
    const double value = text.empty() ? NAN : std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size()) return "'" + text + "' is not a number; " + rangeText(range);
    if (!std::isfinite(value)) return text + " is not a finite number; " + rangeText(range);
    const bool low = range.lowExcluded ? !(value > range.low) : value < range.low;
    if (low || value > range.high) return text + " is out of range: " + rangeText(range);
    return "";
}

CLI::Validator CliNumberRange::validator(Unit unit) {
    return CLI::Validator([unit](std::string& text) { return refusal(text, unit); }, "NUMBER");
}

}  // namespace orvex::cli

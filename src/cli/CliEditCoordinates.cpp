#include "CliEditCoordinates.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "CliNumberRange.h"
#include "common/Pitch.h"
#include "common/Types.h"

namespace orvex::cli {

namespace {

// The value given for one end: in the caller's units, or converted from the other units.
std::optional<double> either(std::optional<double> converted, std::optional<double> direct) {
    const std::optional<double> value = converted ? converted : direct;
    return value && std::isfinite(*value) ? value : std::nullopt;
}

// One "A:B" item as a point; false when malformed, or when a number is not one or lies out of
// its range (outOfRange then names it).
bool parsePoint(const std::string& item, bool framesAndSixths, KVPathPoint& point, std::string& outOfRange) {
    const auto colon = item.find(':');
    if (colon == std::string::npos || item.find(':', colon + 1) != std::string::npos) return false;
    const std::string timeText = item.substr(0, colon), pitchText = item.substr(colon + 1);
    using Unit = CliNumberRange::Unit;
    const Unit timeUnit = framesAndSixths ? Unit::Frames : Unit::Seconds;
    const Unit pitchUnit = framesAndSixths ? Unit::Pitch : Unit::Hertz;
    for (const auto& [text, unit] : {std::pair{timeText, timeUnit}, std::pair{pitchText, pitchUnit}}) {
        const std::string refusal = CliNumberRange::refusal(text, unit);
        if (refusal.empty()) continue;
        outOfRange = "point " + item + ": " + refusal;
        return false;
    }
    const double time = std::strtod(timeText.c_str(), nullptr), pitch = std::strtod(pitchText.c_str(), nullptr);
    const double frame = framesAndSixths ? time : CliEditCoordinates::framesOfSeconds(time);
    const double sixths = framesAndSixths ? pitch : pitchOfHertz(pitch);
    point = {std::llround(frame), std::llround(sixths)};
    return true;
}

}  // namespace

double CliEditCoordinates::framesOfSeconds(double seconds) {
    return seconds * kWorkingSampleRate / double(kAnalysisHop);
}

std::optional<CliEditCoordinates::Span> CliEditCoordinates::frameSpan(std::optional<double> fromSeconds,
                                                                      std::optional<double> toSeconds,
                                                                      std::optional<double> fromFrame,
                                                                      std::optional<double> toFrame) {
    const auto frames = [](std::optional<double> s) { return s ? std::optional(framesOfSeconds(*s)) : std::nullopt; };
    const auto start = either(frames(fromSeconds), fromFrame);
    const auto end = either(frames(toSeconds), toFrame);
    if (!start || !end || *start < 0.0 || *end <= *start) return std::nullopt;
    return Span{*start, *end};
}

std::optional<CliEditCoordinates::Span> CliEditCoordinates::pitchSpan(std::optional<double> lowHertz,
                                                                      std::optional<double> highHertz,
                                                                      std::optional<double> lowPitch,
                                                                      std::optional<double> highPitch) {
    if ((lowHertz && !(*lowHertz > 0.0)) || (highHertz && !(*highHertz > 0.0))) return std::nullopt;
    const auto pitch = [](std::optional<double> hz) { return hz ? std::optional(pitchOfHertz(*hz)) : std::nullopt; };
    const auto low = either(pitch(lowHertz), lowPitch);
    const auto high = either(pitch(highHertz), highPitch);
    if (!low || !high || *high <= *low) return std::nullopt;
    return Span{*low, *high};
}

bool CliEditCoordinates::parsePath(const std::string& text, bool framesAndSixths, std::vector<KVPathPoint>& points,
                                   std::string* outOfRange) {
    std::stringstream list(text);
    std::string refusal;
    for (std::string item; std::getline(list, item, ',');) {
        KVPathPoint point;
        if (!parsePoint(item, framesAndSixths, point, refusal)) {
            if (outOfRange) *outOfRange = refusal;
            return false;
        }
        points.push_back(point);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const KVPathPoint& a, const KVPathPoint& b) { return a.x < b.x; });
    return points.size() > 2;
}

}  // namespace orvex::cli

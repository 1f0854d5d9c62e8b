#include "CliEditCoordinates.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/Pitch.h"
#include "common/Types.h"

namespace orvex::cli {

namespace {

// The value given for one end: in the caller's units, or converted from the other units.
std::optional<double> either(std::optional<double> converted, std::optional<double> direct) {
    const std::optional<double> value = converted ? converted : direct;
    return value && std::isfinite(*value) ? value : std::nullopt;
}

// One "A:B" item as a point; false when malformed or out of range.
bool parsePoint(const std::string& item, bool framesAndSixths, KVPathPoint& point) {
    const auto colon = item.find(':');
    if (colon == std::string::npos) return false;
    try {
        std::size_t usedTime = 0, usedPitch = 0;
        const std::string timeText = item.substr(0, colon), pitchText = item.substr(colon + 1);
        const double time = std::stod(timeText, &usedTime);
        const double pitch = std::stod(pitchText, &usedPitch);
        if (usedTime != timeText.size() || usedPitch != pitchText.size()) return false;
        if (!std::isfinite(time) || !std::isfinite(pitch) || time < 0.0) return false;
        if (!framesAndSixths && pitch <= 0.0) return false;
        const double frame = framesAndSixths ? time : CliEditCoordinates::framesOfSeconds(time);
        const double sixths = framesAndSixths ? pitch : pitchOfHertz(pitch);
        point = {std::llround(frame), std::llround(sixths)};
        return true;
    } catch (const std::exception&) {
        return false;
    }
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

bool CliEditCoordinates::parsePath(const std::string& text, bool framesAndSixths, std::vector<KVPathPoint>& points) {
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        KVPathPoint point;
        if (!parsePoint(item, framesAndSixths, point)) return false;
        points.push_back(point);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const KVPathPoint& a, const KVPathPoint& b) { return a.x < b.x; });
    return points.size() > 2;
}

}  // namespace orvex::cli

#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/KVIsolationOperations.h"

namespace orvex::cli {

// Positions given to the edit command, turned into the units the analysis controller works
// in: analysis frames of the segment (one every 128 samples) and pitch in sixths of a
// semitone (MIDI note x 6). Each end of a span comes either in seconds and Hz or already in
// frames and sixths.
class CliEditCoordinates {
public:
    using Span = std::pair<double, double>;

    static double framesOfSeconds(double seconds);

    // Start and end frame from seconds or frames per end; nothing unless both are given,
    // finite, the start is not negative and the end lies after it.
    static std::optional<Span> frameSpan(std::optional<double> fromSeconds, std::optional<double> toSeconds,
                                         std::optional<double> fromFrame, std::optional<double> toFrame);
    // Low and high pitch from Hz (above 0) or sixths per end; nothing unless both are given,
    // finite and low lies below high.
    static std::optional<Span> pitchSpan(std::optional<double> lowHertz, std::optional<double> highHertz,
                                         std::optional<double> lowPitch, std::optional<double> highPitch);

    // "A:B,A:B,..." as path points, A:B being seconds:Hz or, with framesAndSixths, frame:sixths.
    // False on a malformed list, a number that is not one or lies outside its range
    // (CliNumberRange; outOfRange then receives the sentence naming it) or fewer than three points (the least a pencil path
    // takes). The points come ordered by frame, so a path drawn from right to left is the same
    // path as drawn from left to right.
    static bool parsePath(const std::string& text, bool framesAndSixths, std::vector<KVPathPoint>& points,
                          std::string* outOfRange = nullptr);
};

}  // namespace orvex::cli

#pragma once

#include <cmath>

namespace orvex {

// Pitch in sixths of a semitone, the unit of the analysis picture's rows:
// 6 x (12 log2(f / 440) + 69), so 440 Hz is 414 and an octave is 72.
inline double pitchOfHertz(double hertz) { return (std::log2(hertz / 440.0) * 12.0 + 69.0) * 6.0; }

// And back: 440 x 2^((p / 6 - 69) / 12), with 1/6 and 1/12 applied as the factors 0.16666667
// and 0.0833... that stored selections were made with (other forms differ in the last bits).
inline double hertzOfPitch(double pitch) {
    return 440.0 * std::exp2((pitch * 0.16666667 - 69.0) * 0.08333333333333333);
}

}  // namespace orvex

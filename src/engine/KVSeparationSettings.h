#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/KVMedianMask.h"

namespace orvex {

// How keep sustained and keep transients separate the segment: the floor of the frames around
// each frame (the described method), or the median separator's complementary masks.
enum class SeparationMethod { Described, Median };

struct KVSeparationSettings {
    SeparationMethod method = SeparationMethod::Described;
    KVMedianSettings median;

    // "described" and "median", as the command line and the preferences name them.
    static std::string_view nameOf(SeparationMethod method) {
        return method == SeparationMethod::Median ? "median" : "described";
    }
    static std::optional<SeparationMethod> methodNamed(std::string_view name) {
        if (name == "described") return SeparationMethod::Described;
        if (name == "median") return SeparationMethod::Median;
        return std::nullopt;
    }
};

}  // namespace orvex

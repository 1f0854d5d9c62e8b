#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "engine/KVSeparationSettings.h"

namespace orvex::cli {

// The separator's options of the commands that keep sustained or transients: --method and
// the median separator's filter lengths and mask power.
class CliSeparationOptions {
public:
    // Adds the options to command; they fill this object, which must outlive the parse.
    void addTo(CLI::App* command);
    KVSeparationSettings settings() const;

private:
    std::string mMethod = "described";
    KVMedianSettings mMedian;
};

}  // namespace orvex::cli

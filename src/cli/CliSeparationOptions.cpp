#include "CliSeparationOptions.h"

namespace orvex::cli {

void CliSeparationOptions::addTo(CLI::App* command) {
    command->add_option("--method", mMethod, "Separator of sustained and transients: described or median")
        ->check(CLI::IsMember({"described", "median"}))
        ->capture_default_str();
    command->add_option("--time-length", mMedian.timeSeconds, "Median separator: seconds a sustained sound holds")
        ->check(CLI::Range(0.05, 10.0))
        ->capture_default_str();
    command->add_option("--frequency-length", mMedian.frequencyHertz, "Median separator: hertz a transient spreads over")
        ->check(CLI::Range(5.0, 2000.0))
        ->capture_default_str();
    command->add_option("--mask-power", mMedian.maskPower, "Median separator: power of its soft masks")
        ->check(CLI::Range(0.5, 8.0))
        ->capture_default_str();
}

KVSeparationSettings CliSeparationOptions::settings() const {
    KVSeparationSettings settings;
    settings.method = KVSeparationSettings::methodNamed(mMethod).value_or(SeparationMethod::Described);
    settings.median = mMedian;
    return settings;
}

}  // namespace orvex::cli

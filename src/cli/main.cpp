#include <cstdio>
#include <exception>
#include <memory>

#include "CliCommand.h"
#include "platform/HeadlessPlatform.h"
#include "playback/AudioEngine.h"

// orvex-cli COMMAND ...: the headless front end. Alerts are not echoed by the platform and the
// audio engine does not log; each command reports what concerns the user in one line on
// standard error.
int main(int argc, char** argv) {
    try {
        orvex::AudioEngine::setLogging(false);
        auto platform = std::make_shared<orvex::HeadlessPlatform>();
        platform->setEchoAlerts(false);
        orvex::Platform::install(platform);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvex-cli: cannot start: %s\n", e.what());
        return 1;
    }
    return orvex::cli::CliCommand::run(argc, argv);
}

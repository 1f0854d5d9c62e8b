#include <cstdio>
#include <exception>
#include <memory>

#include "CliCommand.h"
#include "platform/HeadlessPlatform.h"
#include "playback/AudioEngine.h"

// orvex-cli COMMAND ...: the headless front end. Alerts are not echoed by the platform and the
// audio engine does not log; each command reports what concerns the user in one line on
// standard error.
namespace {

// The lowest thread priority keeps a desktop responsive while it analyses; orvex-cli has no
// interface to keep responsive, so its workers run at the process's own priority (on a busy
// machine a thread at the lowest priority mostly waits in the run queue).
class CliPlatform : public orvex::HeadlessPlatform {
public:
    void setCurrentThreadPriority(double) override {}
};

}  // namespace

int main(int argc, char** argv) {
    try {
        orvex::AudioEngine::setLogging(false);
        auto platform = std::make_shared<CliPlatform>();
        platform->setEchoAlerts(false);
        orvex::Platform::install(platform);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvex-cli: cannot start: %s\n", e.what());
        return 1;
    }
    return orvex::cli::CliCommand::run(argc, argv);
}

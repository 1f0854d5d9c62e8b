// orvex: the desktop application. Opens the sound files named on the command line, each in a
// document window ("--verbose" also prints the audio engine's diagnostics); without one, the start window (and, when the preference asks, the open
// dialog) stays up.
#include <QApplication>
#include <QTimer>

#include <thread>

#include "app/AppController.h"
#include "app/AppResources.h"
#include "app/LaunchArguments.h"
#include "app/QtPlatform.h"
#include "app/SingleInstance.h"
#include "app/WindowDocumentHost.h"
#include "application/AppVersion.h"
#include "audiofile/KVAudioFileWriter.h"
#include "common/AnalysisConstants.h"
#include "dsp/FftEngine.h"
#include "playback/AudioEngine.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvex");
    QApplication::setApplicationVersion(QString::fromStdString(orvex::AppVersion::string()));
    QApplication::setWindowIcon(orvex::AppResources::applicationIcon());
    // A second start hands its files to the running one, so two processes never write one
    // analysis folder.
    const orvex::LaunchArguments launch = orvex::LaunchArguments::parse(QApplication::arguments().mid(1));
    const QStringList& files = launch.files;
    orvex::AudioEngine::setLogging(launch.verbose);
    orvex::KVAudioFileWriter::setDiagnostics(launch.verbose);
    orvex::SingleInstance instance;
    if (instance.forwardToRunningInstance(files)) return 0;
    instance.listen();
    auto platform = std::make_shared<orvex::QtPlatform>();
    orvex::Platform::install(platform);
    int status = 0;
    {
        // The first start on a machine measures its fastest transforms (a second or two) here,
        // in the background, instead of in the middle of the first Analyze with the window
        // frozen; later starts plan from the stored measurements at once. Joined once the
        // windows have gone.
        std::jthread plans([] {
            orvex::Platform::shared().setCurrentThreadPriority(0.0);
            orvex::FftEngine::preparePlans(
                {orvex::kAnalysisFrameSize, orvex::kAnalysisFrameSize * orvex::kAnalysisZeroPadding});
        });
        orvex::WindowDocumentHost documents;
        orvex::AppController controller(documents);
        documents.setController(&controller);
        QObject::connect(&instance, &orvex::SingleInstance::filesReceived, &controller, [&](const QStringList& received) {
            for (const QString& file : received) controller.openFile(file);
        });
        // For smoke tests: close every window and quit cleanly after this many milliseconds. The
        // timer repeats, since a quit that falls into a start-up step's own event loop ends only
        // that loop.
        QTimer quitTimer;
        if (const int quitAfter = qEnvironmentVariableIntValue("ORVEX_QUIT_AFTER_MS"); quitAfter > 0) {
            QObject::connect(&quitTimer, &QTimer::timeout, &controller, [&controller] { controller.uiQuit(); });
            quitTimer.start(quitAfter);
        }
        controller.applicationDidFinishLaunching(files);
        if (!controller.hasTerminated()) status = QApplication::exec();
        controller.applicationWillTerminate();
    }
    orvex::Platform::install(nullptr);
    return status;
}

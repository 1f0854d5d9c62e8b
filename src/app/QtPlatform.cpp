#include "app/QtPlatform.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include "application/RecentDocuments.h"
#include "application/ResourceFinder.h"
#include "platform/PostedCall.h"

namespace orvex {

namespace {
constexpr int kFileManagerTimeoutMs = 1500;

QString qs(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

QtPlatform::QtPlatform(std::string defaultsPath)
    : mDefaults(defaultsPath.empty() ? defaultDefaultsPath() : std::move(defaultsPath)),
      mSounds(std::make_unique<SoundPlayer>()) {}

QtPlatform::~QtPlatform() { mDefaults.synchronize(); }

std::string QtPlatform::defaultDefaultsPath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath("orvex/defaults.plist").toStdString();
}

AlertButton QtPlatform::runAlert(const std::string& title, const std::string& message,
                                 const std::vector<std::string>& buttons) {
    AlertButton answer = AlertButton::Default;
    postToMainThread([&] { answer = showAlert(title, message, buttons); }, true);
    return answer;
}

// GUI thread. The first button is the default, the second the alternate (also Escape), the
// third the other one.
AlertButton QtPlatform::showAlert(const std::string& title, const std::string& message,
                                  const std::vector<std::string>& buttons) {
    {
        std::lock_guard<std::mutex> guard(mLogMutex);
        std::vector<std::string> entry{title, message};
        entry.insert(entry.end(), buttons.begin(), buttons.end());
        mAlertLog.push_back(std::move(entry));
    }
    QWidget* parent = QApplication::activeWindow();
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(qs(title));
    box.setText(qs(title));
    box.setInformativeText(qs(message));
    if (parent) box.setWindowModality(Qt::WindowModal);
    const QMessageBox::ButtonRole roles[] = {QMessageBox::AcceptRole, QMessageBox::RejectRole,
                                             QMessageBox::DestructiveRole};
    std::vector<QPushButton*> added;
    for (std::size_t i = 0; i < buttons.size() && i < 3; ++i) added.push_back(box.addButton(qs(buttons[i]), roles[i]));
    if (added.empty()) added.push_back(box.addButton(QMessageBox::Ok));
    box.setDefaultButton(added.front());
    box.setEscapeButton(added.size() > 1 ? added[1] : added.front());
    mOpenAlerts.push_back(&box);
    box.exec();
    mOpenAlerts.pop_back();
    for (std::size_t i = 0; i < added.size(); ++i)
        if (box.clickedButton() == added[i]) return static_cast<AlertButton>(i);
    return AlertButton::Default;
}

void QtPlatform::beep() {
    {
        std::lock_guard<std::mutex> guard(mLogMutex);
        ++mBeeps;
    }
    postToMainThread([] { QApplication::beep(); }, false);
}

void QtPlatform::postToMainThread(std::function<void()> call, bool wait) {
    if (wait && isMainThread()) {
        call();
        return;
    }
    // Queued and blocking-queued calls to one receiver share its event queue, so posts run in order.
    if (!wait) {
        QMetaObject::invokeMethod(this, PostedCall(std::move(call)), Qt::QueuedConnection);
        return;
    }
    const int finished = 0;  // marks the end of the call for the waiting thread
    QMetaObject::invokeMethod(this, PostedCall(std::move(call), &finished), Qt::BlockingQueuedConnection);
    PostedCall::acquired(&finished);
}

bool QtPlatform::isMainThread() const { return QThread::currentThread() == thread(); }

bool QtPlatform::boolForKey(const std::string& key) { return mDefaults.boolForKey(key); }
std::int64_t QtPlatform::integerForKey(const std::string& key) { return mDefaults.integerForKey(key); }
std::optional<std::string> QtPlatform::stringForKey(const std::string& key) { return mDefaults.stringForKey(key); }
bool QtPlatform::hasDefaultForKey(const std::string& key) { return mDefaults.hasKey(key); }
void QtPlatform::setBoolForKey(const std::string& key, bool value) { mDefaults.setBool(key, value); }
void QtPlatform::setIntegerForKey(const std::string& key, std::int64_t value) { mDefaults.setInteger(key, value); }
void QtPlatform::setStringForKey(const std::string& key, const std::string& value) { mDefaults.setString(key, value); }
void QtPlatform::synchronizeDefaults() { mDefaults.synchronize(); }

std::string QtPlatform::resourcePath(const std::string& name, const std::string& type) {
    const auto path = ResourceFinder::forCurrentProcess().pathForResource(name, type);
    return path ? path->string() : std::string();
}

void QtPlatform::playSound(const std::string& name, const std::string& type) {
    {
        std::lock_guard<std::mutex> guard(mLogMutex);
        mSoundLog.push_back(name);
    }
    const std::string path = resourcePath(name, type);
    if (path.empty()) return;
    postToMainThread([this, path] { mSounds->play(path); }, false);
}

void QtPlatform::revealFile(const std::string& path) {
    const QString file = QFileInfo(qs(path)).absoluteFilePath();
    {
        std::lock_guard<std::mutex> guard(mLogMutex);
        mRevealLog.push_back(file.toStdString());
    }
    if (mRevealsRecordedOnly) return;
    if (!revealThroughFileManager(file)) launchOpener(QFileInfo(file).absolutePath());
}

void QtPlatform::openWithDefaultApplication(const std::string& path) { launchOpener(qs(path)); }

bool QtPlatform::revealThroughFileManager(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    return bus.call(call, QDBus::Block, kFileManagerTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

// xdg-open reports by its exit status whether a program took the target (with no browser or
// file manager it fails after starting); then the user is told where the file is, to open it
// by hand, instead of nothing happening. The process object lives until it has finished.
bool QtPlatform::launchOpener(const QString& target) {
    postToMainThread(
        [this, target] {
            auto* opener = new QProcess;
            const auto failed = [this, opener, target] {
                opener->deleteLater();
                showAlert("Could not open " + QFileInfo(target).fileName().toStdString(),
                          "No program on this system opened it. It is at:\n" + target.toStdString(), {"Okay"});
            };
            QObject::connect(opener, &QProcess::finished, qApp, [opener, failed](int code, QProcess::ExitStatus status) {
                if (status == QProcess::NormalExit && code == 0) return opener->deleteLater();
                failed();
            });
            QObject::connect(opener, &QProcess::errorOccurred, qApp, [failed](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) failed();
            });
            opener->start("xdg-open", {target});
        },
        false);
    return true;
}

void QtPlatform::addRecentDocument(const std::string& path) {
    postToMainThread([path] { RecentDocuments::add(QFileInfo(qs(path)).absoluteFilePath().toStdString()); }, true);
}

std::vector<std::vector<std::string>> QtPlatform::alertLog() const {
    std::lock_guard<std::mutex> guard(mLogMutex);
    return mAlertLog;
}

int QtPlatform::beepCount() const {
    std::lock_guard<std::mutex> guard(mLogMutex);
    return mBeeps;
}

std::vector<std::string> QtPlatform::revealLog() const {
    std::lock_guard<std::mutex> guard(mLogMutex);
    return mRevealLog;
}

std::vector<std::string> QtPlatform::soundLog() const {
    std::lock_guard<std::mutex> guard(mLogMutex);
    return mSoundLog;
}

bool QtPlatform::answerOpenAlerts() {
    for (QMessageBox* box : mOpenAlerts) {
        if (!box->isVisible()) continue;  // answered, its caller not yet resumed
        QAbstractButton* answer = box->defaultButton();
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("Cancel")) answer = button;
        if (answer) answer->click();
    }
    return !mOpenAlerts.empty();
}

}  // namespace orvex

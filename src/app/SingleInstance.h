#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

namespace orvex {

// One running orvex per user and display: a second start hands its files to the first over a local socket
// and ends, so that two processes never write one analysis folder. GUI thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's name; empty uses "orvex-<user id>-<display>".
    explicit SingleInstance(QString name = {}, QObject* parent = nullptr);

    // Sends files (made absolute) to a running instance; false when none answers.
    bool forwardToRunningInstance(const QStringList& files, int timeoutMs = 2000) const;
    // Becomes the running instance (a stale socket left by a crash is removed first).
    bool listen();
    const QString& name() const { return mName; }

signals:
    // Files a later start handed over.
    void filesReceived(const QStringList& files);

private:
    void readConnection();

    QString mName;
    QLocalServer* mServer = nullptr;
};

}  // namespace orvex

#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One Quarrow per user: the first one listens on a local socket in a folder
// that only the user can enter, and a later start hands its address (or
// nothing) to it and ends. A socket that is not the user's own is never
// spoken to, and a caller that is not the user is never listened to.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QObject *parent = nullptr);
    ~InstanceChannel() override;

    // The user's private folder for the socket: $XDG_RUNTIME_DIR when it is
    // the user's own and closed to others, else "quarrow" under the user's
    // cache folder, made 0700. Empty when neither can be had safely.
    static QString socketFolder();
    // "quarrow-instance" in socketFolder(); empty without a safe folder.
    static QString socketPath();

    // Hands the address to a running Quarrow. True when one took it.
    bool handOver(const QString &address, int timeoutMs = handOverTimeoutMs);
    // Starts listening for later starts; false when the socket cannot be made.
    bool listen();

    // Longest address a later start may hand over, in bytes.
    static constexpr qint64 longestMessage = 64 * 1024;
    // How long a later start waits for the running Quarrow to answer.
    static constexpr int handOverTimeoutMs = 3000;
    // How long the running Quarrow waits for a caller to say something.
    static constexpr int callerPatienceMs = 5000;
    void setCallerPatience(int ms) { m_callerPatienceMs = ms; }

signals:
    // A later start asked for this address (empty: just come to the front).
    void addressReceived(const QString &address);
    // A caller was dropped: it was not the user, or it said nothing in time.
    void callerDropped();

private:
    void accept();

    QLocalServer *m_server = nullptr;
    int m_callerPatienceMs = callerPatienceMs;
};

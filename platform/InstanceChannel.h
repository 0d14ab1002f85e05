#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One Quarrow per user: the first one listens on a local socket in the
// user's runtime folder, and a later start hands its address (or nothing)
// to it and ends. Only the user can reach the socket.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QObject *parent = nullptr);
    ~InstanceChannel() override;

    // The socket's path: "quarrow-instance" in the user's runtime folder.
    static QString socketPath();

    // Hands the address to a running Quarrow. True when one took it.
    bool handOver(const QString &address, int timeoutMs = 3000);
    // Starts listening for later starts; false when the socket cannot be made.
    bool listen();

    // Longest address a later start may hand over, in bytes.
    static constexpr qint64 longestMessage = 64 * 1024;

signals:
    // A later start asked for this address (empty: just come to the front).
    void addressReceived(const QString &address);

private:
    void accept();

    QLocalServer *m_server = nullptr;
};

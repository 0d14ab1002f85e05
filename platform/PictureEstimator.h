#pragma once

#include "platform/PictureAudit.h"

#include <QHash>
#include <QObject>
#include <QSize>

class QThreadPool;

// Makes the audit's estimates (PictureAudit::estimate) in the background: on
// threads of its own (at most `threads` at once), each bounded by the
// audit's limits and a time after which it counts as not made, with at most
// maxQueuedBytes of pictures waiting. Answers on the thread that asked.
class PictureEstimator : public QObject {
    Q_OBJECT
public:
    explicit PictureEstimator(QObject *parent = nullptr);
    ~PictureEstimator() override;

    static constexpr int defaultThreads = 1;
    static constexpr int defaultTimeoutMs = 20000;
    static constexpr qint64 maxQueuedBytes = 256 * 1024 * 1024;

    void setThreads(int threads);
    void setTimeout(int ms) { m_timeoutMs = ms; }
    void setLimits(const PictureAudit::Limits &limits) { m_limits = limits; }

    // Estimates `bytes` shown at `shownSize` (screen pixels) under `key`:
    // `estimated` follows. False, and nothing follows, when that key is on
    // its way already or too many bytes wait.
    bool request(const QString &key, const QByteArray &bytes, const QSize &shownSize);
    // True while `key` is waiting or under way.
    bool pending(const QString &key) const { return m_pending.contains(key); }
    // Forgets what waits; what is under way ends, unheard.
    void clear();
    bool idle() const { return m_pending.isEmpty(); }

signals:
    void estimated(const QString &key, const PictureAudit::Estimate &estimate);

private:
    void answer(const QString &key, quint64 generation, const PictureAudit::Estimate &estimate);

    QThreadPool *m_pool = nullptr;
    QHash<QString, qint64> m_pending; // key -> its bytes
    qint64 m_queuedBytes = 0;
    quint64 m_generation = 0;
    int m_timeoutMs = defaultTimeoutMs;
    PictureAudit::Limits m_limits;
};

#include "platform/PictureEstimator.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>

PictureEstimator::PictureEstimator(QObject *parent) : QObject(parent), m_pool(new QThreadPool(this))
{
    m_pool->setMaxThreadCount(defaultThreads);
}

PictureEstimator::~PictureEstimator()
{
    // What has not begun is dropped; what is under way ends by its bounds.
    m_pool->clear();
    m_pool->waitForDone();
}

void PictureEstimator::setThreads(int threads)
{
    m_pool->setMaxThreadCount(std::max(1, threads));
}

void PictureEstimator::clear()
{
    m_pool->clear();
    m_pending.clear();
    m_queuedBytes = 0;
    ++m_generation;
}

bool PictureEstimator::request(const QString &key, const QByteArray &bytes, const QSize &shownSize)
{
    if (m_pending.contains(key) || m_queuedBytes + bytes.size() > maxQueuedBytes)
        return false;
    m_pending.insert(key, bytes.size());
    m_queuedBytes += bytes.size();
    const quint64 generation = m_generation;
    const PictureAudit::Limits limits = m_limits;
    const int timeoutMs = m_timeoutMs;
    QPointer<PictureEstimator> guard(this);
    // Answered once: by the estimate, or by its time running out.
    auto answered = std::make_shared<std::atomic_bool>(false);
    auto reply = [guard, key, generation, answered](const PictureAudit::Estimate &estimate) {
        if (answered->exchange(true) || !guard)
            return;
        guard->answer(key, generation, estimate);
    };
    m_pool->start([guard, reply, answered, bytes, shownSize, limits, timeoutMs] {
        if (*answered)
            return;
        // The time counts from the start, not from the queue.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, reply, timeoutMs] {
                if (!guard)
                    return;
                QTimer::singleShot(timeoutMs, guard, [reply, timeoutMs] {
                    PictureAudit::Estimate late;
                    late.problem = QStringLiteral("took longer than %1 s").arg(timeoutMs / 1000.0);
                    reply(late);
                });
            },
            Qt::QueuedConnection);
        const PictureAudit::Estimate estimate = PictureAudit::estimate(bytes, shownSize, limits);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [reply, estimate] { reply(estimate); },
            Qt::QueuedConnection);
    });
    return true;
}

void PictureEstimator::answer(const QString &key, quint64 generation,
                              const PictureAudit::Estimate &estimate)
{
    if (generation != m_generation)
        return;
    m_queuedBytes -= m_pending.take(key);
    emit estimated(key, estimate);
}

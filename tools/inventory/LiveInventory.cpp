#include "LiveInventory.h"

#include "platform/LazyLoader.h"
#include "platform/LoadWords.h"
#include "platform/PictureEstimator.h"
#include "platform/ServedMarkup.h"
#include "windows/MediaModels.h"
#include "windows/PictureFetcher.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// A page that nobody reads: its dialogs are answered at once (as a reader who
// closes them would), and it chooses no file. Otherwise the engine would wait
// for a window nobody sees.
class UnattendedPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override
    {
        return false;
    }
    QStringList chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) override
    {
        return {};
    }
};

// The engine's code of a load that made way for another.
constexpr int kAborted = -3;

QString seconds(int ms)
{
    return QString::number(ms / 1000.0);
}

} // namespace

LiveInventory::LiveInventory(QWebEngineProfile *profile, MediaModel *media, const Options &options,
                             QObject *parent)
    : QObject(parent), m_profile(profile), m_media(media), m_options(options),
      m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    connect(m_media->estimator(), &PictureEstimator::estimated, this,
            [this](const QString &address, const PictureAudit::Estimate &estimate) {
                m_estimated.insert(address, estimate.made ? QString() : estimate.problem);
                checkDone();
            });
}

LiveInventory::~LiveInventory()
{
    // What asks the profile goes first; the page before its view.
    m_media->setFetcher(nullptr);
    delete m_fetcher;
    delete m_served;
    delete m_lazy;
    if (m_view)
        m_view->setPage(nullptr);
    delete m_page;
    m_view.reset();
}

void LiveInventory::start(const QUrl &address)
{
    m_address = address;
    m_view = std::make_unique<QWebEngineView>();
    m_page = new UnattendedPage(m_profile, this);
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, m_options.scripts);
    m_view->setPage(m_page);
    m_view->resize(windowSize);
    m_view->show();
    connect(m_page, &QWebEnginePage::loadingChanged, this, &LiveInventory::loadingChanged);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this] { fail(QStringLiteral("the engine's page process ended")); });
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (!m_loaded)
            fail(QStringLiteral("it did not finish loading within %1 s")
                     .arg(seconds(m_options.loadTimeoutMs)));
        else if (!m_listed)
            fail(QStringLiteral("the page gave no answer within %1 s")
                     .arg(seconds(m_options.loadTimeoutMs)));
        else
            end();
    });
    m_deadline->start(m_options.loadTimeoutMs);
    m_page->load(address);
}

void LiveInventory::loadingChanged(const QWebEngineLoadingInfo &info)
{
    if (m_loaded || m_over)
        return;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        loaded();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        fail(QStringLiteral("the load was stopped"));
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        break;
    }
    const int code = info.errorCode();
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        // The server's own page for an error status is no page of pictures.
        fail(LoadWords::httpStatus(code));
        return;
    }
    // It made way for another load (a redirect by the page): that one counts.
    if (code == kAborted && !info.isErrorPage())
        return;
    fail(LoadWords::networkError(code, info.errorString()));
}

void LiveInventory::loaded()
{
    m_loaded = true;
    m_deadline->start(m_options.loadTimeoutMs);
    if (!m_options.scroll) {
        collect();
        return;
    }
    // Scrolling has bounds of its own; the page's answers to it, none.
    m_deadline->stop();
    m_lazy = new LazyLoader(m_page, this);
    connect(m_lazy, &LazyLoader::finished, this, [this](const LazyLoader::Result &result) {
        if (result.outcome != LazyLoader::Outcome::End)
            emit note(result.words());
        m_deadline->start(m_options.loadTimeoutMs);
        collect();
    });
    m_lazy->start();
}

void LiveInventory::collect()
{
    QPointer<LiveInventory> guard(this);
    PageInventory::collect(m_page, [guard](const Inventory &inventory) {
        if (guard && !guard->m_over)
            guard->collected(inventory);
    });
}

void LiveInventory::collected(const Inventory &inventory)
{
    if (!inventory.valid) {
        fail(QStringLiteral("cannot list the pictures: %1").arg(inventory.error));
        return;
    }
    m_listed = true;
    // The served markup, the pictures' bytes and the estimates, together.
    m_deadline->start(m_options.loadTimeoutMs);
    m_media->setInventory(inventory);
    m_media->fillSome(QDeadlineTimer(QDeadlineTimer::Forever));
    m_served = new ServedMarkup(m_profile, this);
    m_served->setTimeout(m_options.loadTimeoutMs);
    connect(m_served, &ServedMarkup::finished, this, [this](const Inventory &served) {
        m_media->setServed(served);
        if (!served.valid)
            emit note(
                QStringLiteral("where the pictures came from is unknown: %1").arg(served.error));
        m_servedIn = true;
        checkDone();
    });
    m_served->start(QUrl(inventory.pageAddress).adjusted(QUrl::RemoveFragment), m_page);
    fetchPictures();
}

void LiveInventory::fetchPictures()
{
    // The bytes of the picture each row's findings are of, for the audit;
    // those of the failed ones, for why they failed.
    const Inventory &inventory = m_media->inventory();
    m_fetcher = new PictureFetcher(m_profile, this);
    m_fetcher->setPage(QUrl(inventory.pageAddress));
    m_media->setFetcher(m_fetcher);
    QStringList addresses;
    QSet<QString> asked;
    const auto ask = [&](const QString &address) {
        if (!asked.contains(address) && m_fetcher->mayFetch(address)) {
            asked.insert(address);
            addresses.append(address);
        }
    };
    for (int row = 0; row < m_media->rowCount(); ++row) {
        if (m_options.audit)
            ask(m_media->auditFacts(row).address);
        if (m_options.statuses || m_options.audit) {
            for (const int entry : m_media->entriesOfRow(row)) {
                if (inventory.pictures.at(entry).failed)
                    ask(inventory.pictures.at(entry).address);
            }
        }
    }
    m_fetching = asked;
    connect(m_fetcher, &PictureFetcher::thumbnailReady, this, [this](const QString &address) {
        if (m_fetching.remove(address))
            checkDone();
    });
    if (!addresses.isEmpty())
        m_fetcher->check(addresses);
    checkDone();
}

void LiveInventory::checkDone()
{
    if (m_over || !m_listed || !m_servedIn || !m_fetching.isEmpty() ||
        !m_media->estimator()->idle())
        return;
    end();
}

void LiveInventory::end()
{
    if (m_over)
        return;
    m_over = true;
    m_deadline->stop();
    if (!m_servedIn) {
        m_served->cancel();
        emit note(QStringLiteral("where the pictures came from is unknown: the markup the server "
                                 "sent was not read within %1 s")
                      .arg(seconds(m_options.loadTimeoutMs)));
    }
    if (!m_fetching.isEmpty())
        emit note(QStringLiteral("%1 of the pictures did not come within %2 s")
                      .arg(m_fetching.size())
                      .arg(seconds(m_options.loadTimeoutMs)));
    if (m_options.audit) {
        // The estimates that could not be made, each in a line.
        for (int row = 0; row < m_media->rowCount(); ++row) {
            if (m_media->notPicture(row))
                continue;
            const PictureAudit::Facts facts = m_media->auditFacts(row);
            if (!PictureAudit::wantsEstimate(facts))
                continue;
            const auto made = m_estimated.constFind(facts.address);
            QString why;
            if (made != m_estimated.cend())
                why = made->isEmpty() ? QString() : *made;
            else if (!m_fetcher->mayFetch(facts.address))
                why = QStringLiteral("its address cannot be fetched");
            else if (m_fetching.contains(facts.address))
                why = QStringLiteral("its bytes did not come in time");
            else if (m_media->estimator()->pending(facts.address))
                why = QStringLiteral("not made within %1 s").arg(seconds(m_options.loadTimeoutMs));
            else
                why = QStringLiteral("its bytes could not be had");
            if (!why.isEmpty())
                emit note(QStringLiteral("no estimate for %1: %2")
                              .arg(PageInventory::displayAddress(facts.address), why));
        }
    }
    emit finished();
}

void LiveInventory::fail(const QString &why)
{
    if (m_over)
        return;
    m_over = true;
    m_deadline->stop();
    if (m_lazy)
        m_lazy->stop();
    emit failed(why);
}

#include "platform/PageGuard.h"

#include "platform/CrashPanel.h"
#include "platform/LoadWords.h"
#include "platform/QuarrowScheme.h"
#include "platform/WebBrowser.h"

#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

const QString HideScriptName = QStringLiteral("quarrow-hide-error-page");

// The engine's code of an aborted load (net::ERR_ABORTED): a load that made
// way for another, or that the view refused.
constexpr int Aborted = -3;

QString terminationWords(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    switch (status) {
    case QWebEnginePage::CrashedTerminationStatus:
        return PageGuard::tr("The process that showed it crashed (code %1).").arg(exitCode);
    case QWebEnginePage::KilledTerminationStatus:
        return PageGuard::tr("The process that showed it was killed (signal %1).").arg(exitCode);
    default:
        return PageGuard::tr("The process that showed it ended abnormally (exit code %1).")
            .arg(exitCode);
    }
}

} // namespace

PageGuard::PageGuard(WebBrowser *view) : QObject(view), m_view(view)
{
    m_crash = new CrashPanel(view);
    connect(m_crash, &CrashPanel::reloadRequested, this, [this] { m_view->Refresh(); });
}

PageGuard::~PageGuard() = default;

void PageGuard::prepare(QWebEnginePage *page)
{
    if (!page->scripts().find(HideScriptName).isEmpty())
        return;
    QWebEngineScript hide;
    hide.setName(HideScriptName);
    hide.setInjectionPoint(QWebEngineScript::DocumentCreation);
    hide.setWorldId(QWebEngineScript::ApplicationWorld);
    hide.setRunsOnSubFrames(false);
    hide.setSourceCode(OwnPages::hideEngineErrorPage());
    page->scripts().insert(hide);
}

void PageGuard::attach(QWebEnginePage *page)
{
    if (m_page)
        m_page->disconnect(this);
    m_page = page;
    m_own.reset();
    m_leaving.reset();
    m_pressed = OwnPages::Button::None;
    prepare(page);
    connect(page, &QWebEnginePage::certificateError, this, &PageGuard::certificateError);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                processEnded(int(status), exitCode);
            });
    connect(page, &QWebEnginePage::urlChanged, this, &PageGuard::securityChanged);
    connect(exceptions(), &CertificateExceptions::changed, this, &PageGuard::securityChanged,
            Qt::UniqueConnection);
    emit securityChanged();
}

CertificateExceptions *PageGuard::exceptions() const
{
    return CertificateExceptions::of(m_page ? static_cast<QObject *>(m_page->profile())
                                            : static_cast<QObject *>(m_view));
}

bool PageGuard::loadingChanged(const QWebEngineLoadingInfo &info)
{
    const QUrl url = info.url();
    if (OwnPages::isButtonAddress(url)) {
        // The refused navigation of a button is over: the button acts now.
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus &&
            m_pressed != OwnPages::Button::None) {
            const OwnPages::Button button = m_pressed;
            m_pressed = OwnPages::Button::None;
            QTimer::singleShot(0, this, [this, button] { act(button); });
        }
        return false;
    }
    // The program's own generated pages come from memory at once: their loads
    // are not worth a word.
    const bool quiet = QuarrowScheme::owns(url);
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        ++m_loads;
        m_pressed = OwnPages::Button::None;
        if (m_own)
            m_leaving = std::move(m_own);
        m_own.reset();
        m_crashed = false;
        m_crash->hide();
        m_outcome =
            Outcome{Outcome::Loading, url, 0, {}, quiet ? QString() : LoadWords::opening(url)};
        return true;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        m_leaving.reset();
        m_outcome = Outcome{
            Outcome::Done, url, info.errorCode(), {}, quiet ? QString() : LoadWords::done()};
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        m_outcome = Outcome{
            Outcome::Stopped, url, info.errorCode(), {}, quiet ? QString() : LoadWords::stopped()};
        if (m_leaving)
            checkStillShown(*m_leaving);
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        loadFailed(info);
        if (quiet)
            m_outcome.words.clear();
        break;
    }
    emit securityChanged();
    return true;
}

void PageGuard::loadFailed(const QWebEngineLoadingInfo &info)
{
    const QUrl url = info.url();
    const int code = info.errorCode();
    const bool httpStatus = info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
    if (httpStatus && !info.isErrorPage()) {
        // The server's own page for its status: a page like any other.
        m_leaving.reset();
        m_outcome = Outcome{Outcome::HttpError, url, code, {}, LoadWords::doneWithStatus(code)};
        return;
    }
    if (!info.isErrorPage() && code == Aborted) {
        // It made way for another load, or was refused: nothing was opened.
        m_outcome = Outcome{Outcome::Stopped, url, code, {}, LoadWords::stopped()};
        if (m_leaving)
            checkStillShown(*m_leaving);
        return;
    }
    m_leaving.reset();
    const QString reason =
        httpStatus ? tr("The server answered %1 and sent no page").arg(LoadWords::httpStatus(code))
                   : LoadWords::networkError(code, info.errorString());
    m_outcome = Outcome{Outcome::Failed, url, code, reason, LoadWords::couldNotOpen(url, reason)};
    if (!info.isErrorPage() || m_crashed)
        return;
    OwnPage page;
    page.url = url;
    page.token = OwnPages::newToken();
    QString html;
    if (LoadWords::isCertificateError(code) ||
        info.errorDomain() == QWebEngineLoadingInfo::CertificateErrorDomain) {
        page.certificate = true;
        page.problem = m_problems.value(url.host().toLower());
        if (page.problem.isNull())
            page.problem.host = url.host();
        html = OwnPages::certificatePage(url, reason, page.problem, page.token);
    } else {
        html = OwnPages::errorPage(url, code, reason, LoadWords::engineName(info.errorString()),
                                   page.token);
    }
    showOwnPage(page, html);
}

void PageGuard::showOwnPage(const OwnPage &page, const QString &html)
{
    if (!m_page)
        return;
    const quint64 load = m_loads;
    QPointer<PageGuard> self(this);
    m_page->runJavaScript(OwnPages::writeOverErrorPage(html, page.token),
                          QWebEngineScript::ApplicationWorld,
                          [self, page, load](const QVariant &written) {
                              // A load that started since has the view now.
                              if (!self || self->m_loads != load || !written.toBool())
                                  return;
                              self->m_own = page;
                              emit self->ownPageShown();
                              emit self->securityChanged();
                          });
}

void PageGuard::checkStillShown(const OwnPage &page)
{
    if (!m_page || m_page->url() != page.url)
        return;
    const quint64 load = m_loads;
    QPointer<PageGuard> self(this);
    m_page->runJavaScript(OwnPages::tokenOfShownPage(), QWebEngineScript::ApplicationWorld,
                          [self, page, load](const QVariant &token) {
                              if (!self || self->m_loads != load || self->m_own ||
                                  token.toString() != page.token)
                                  return;
                              self->m_leaving.reset();
                              self->m_own = page;
                              emit self->securityChanged();
                          });
}

bool PageGuard::pressButton(const QUrl &url, bool pageStarted)
{
    if (!OwnPages::isButtonAddress(url))
        return false;
    QString token;
    const OwnPages::Button button = OwnPages::buttonOf(url, &token);
    // Only a click in the page of ours that shows, which alone knows its token.
    if (pageStarted && button != OwnPages::Button::None && m_own && !token.isEmpty() &&
        token == m_own->token)
        m_pressed = button;
    return true;
}

void PageGuard::act(OwnPages::Button button)
{
    if (!m_page)
        return;
    switch (button) {
    case OwnPages::Button::TryAgain:
        m_view->Refresh();
        break;
    case OwnPages::Button::GoBack:
        if (!m_view->GoBack())
            m_view->GoHome();
        break;
    case OwnPages::Button::Continue:
        if (m_own && m_own->certificate) {
            exceptions()->allow(m_own->problem);
            m_view->Refresh();
        }
        break;
    case OwnPages::Button::None:
        break;
    }
}

void PageGuard::certificateError(const QWebEngineCertificateError &error)
{
    QWebEngineCertificateError answer = error;
    CertificateProblem problem;
    problem.host = error.url().host().toLower();
    problem.code = int(error.type());
    problem.description = error.description();
    problem.overridable = error.isOverridable();
    problem.chain = error.certificateChain();
    if (problem.overridable && exceptions()->allows(problem.host)) {
        answer.acceptCertificate();
        return;
    }
    // The load fails; its page says why, with what the certificate said.
    m_problems.insert(problem.host, problem);
    answer.rejectCertificate();
}

void PageGuard::processEnded(int status, int exitCode)
{
    const auto how = QWebEnginePage::RenderProcessTerminationStatus(status);
    if (how == QWebEnginePage::NormalTerminationStatus)
        return;
    m_crashed = true;
    m_own.reset();
    m_leaving.reset();
    const QString reason = terminationWords(how, exitCode);
    // "This page stopped working: the process that showed it was killed (signal 9)"
    QString said = reason;
    said.chop(said.endsWith(QLatin1Char('.')) ? 1 : 0);
    if (!said.isEmpty())
        said[0] = said[0].toLower();
    m_outcome = Outcome{Outcome::Crashed, m_page ? m_page->url() : QUrl(), exitCode, reason,
                        tr("This page stopped working: %1").arg(said)};
    m_crash->showReason(reason);
    emit stoppedWorking(m_outcome.words);
    emit securityChanged();
}

PageSecurity PageGuard::security() const
{
    PageSecurity security;
    security.url = m_page ? m_page->url() : QUrl();
    // While a load leaves a page of ours, the page still shows.
    const std::optional<OwnPage> &own = m_own ? m_own : m_leaving;
    if (own) {
        security.level = own->certificate ? PageSecurity::NotSecure : PageSecurity::Neutral;
        security.problem = own->problem;
        return security;
    }
    if (m_outcome.kind == Outcome::Failed && m_outcome.url == security.url) {
        security.level = PageSecurity::Neutral;
        return security;
    }
    const QString host = security.url.host();
    const bool passed = exceptions()->allows(host);
    security.level = PageSecurity::levelFor(security.url, passed);
    if (security.level == PageSecurity::Overridden)
        security.problem = exceptions()->problemOf(host);
    return security;
}

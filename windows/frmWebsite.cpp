#include "windows/frmWebsite.h"

#include <QDesktopServices>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {
QPointer<frmWebsite> &loadedWindow()
{
    static QPointer<frmWebsite> window;
    return window;
}

int &unloadDelayMs()
{
    static int ms = frmWebsite::defaultUnloadDelayMs;
    return ms;
}
} // namespace

void frmWebsite::setUnloadDelay(int ms)
{
    unloadDelayMs() = ms;
}

int frmWebsite::unloadDelay()
{
    return unloadDelayMs();
}

frmWebsite::frmWebsite(const QString &website, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmWebsite"));
    setWindowTitle(QStringLiteral("Form5"));
    loadedWindow() = this;

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(unloadDelay());
    connect(Timer1, &QTimer::timeout, this, &frmWebsite::Timer1_Timer);
    Timer1->start();

    Form_Load(website);
}

QString frmWebsite::WebsiteAddress(const QString &website)
{
    if (!website.contains(QStringLiteral("https://"), Qt::CaseInsensitive) &&
        !website.contains(QStringLiteral("http://"), Qt::CaseInsensitive))
        return QStringLiteral("http://") + website;
    return website;
}

frmWebsite *frmWebsite::loaded()
{
    return loadedWindow();
}

void frmWebsite::Form_Load(const QString &website)
{
    m_handedOver = QDesktopServices::openUrl(QUrl(WebsiteAddress(website), QUrl::TolerantMode));
}

void frmWebsite::Timer1_Timer()
{
    Timer1->stop();
    if (loadedWindow() == this)
        loadedWindow() = nullptr;
    deleteLater();
}

bool ShowWebsiteWindow(const QString &website, bool *handedOver)
{
    if (frmWebsite::loaded())
        return false;
    auto *window = new frmWebsite(website);
    if (handedOver)
        *handedOver = window->handedOver();
    return true;
}

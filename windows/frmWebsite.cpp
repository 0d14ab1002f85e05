#include "windows/frmWebsite.h"

#include "windows/Branding.h"

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
} // namespace

frmWebsite::frmWebsite(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmWebsite"));
    setWindowTitle(QStringLiteral("Form5"));
    loadedWindow() = this;

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &frmWebsite::Timer1_Timer);
    Timer1->start();

    Form_Load();
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

void frmWebsite::Form_Load()
{
    LoadBranding();
    if (WebsiteMode != QStringLiteral("Website"))
        return;
    const QString address = WebsiteAddress(BrandWebsite);
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
    WebsiteMode = QString();
}

void frmWebsite::Timer1_Timer()
{
    Timer1->stop();
    if (loadedWindow() == this)
        loadedWindow() = nullptr;
    deleteLater();
}

void ShowWebsiteWindow()
{
    if (frmWebsite::loaded())
        return;
    new frmWebsite;
}

#include "windows/PageSourceWindow.h"

#include "windows/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>

namespace {

// Three quarters of the owner's window, never smaller than a readable
// listing nor larger than the screen.
QSize windowSize(const QWidget *owner)
{
    const QWidget *ownerWindow = owner ? owner->window() : nullptr;
    const QScreen *screen = ownerWindow ? ownerWindow->screen() : QGuiApplication::primaryScreen();
    const QSize area = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    QSize size = ownerWindow ? ownerWindow->size() * 3 / 4 : QSize(900, 650);
    size = size.expandedTo(QSize(480, 360)).boundedTo(area);
    return size;
}

} // namespace

PageSourceWindow::PageSourceWindow(const QUrl &address, QWebEngineProfile *profile, QWidget *owner)
    : QWidget(owner, Qt::Window), m_address(address)
{
    setObjectName(QStringLiteral("PageSourceWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(captionFor(address));

    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("sourceView"));
    // A page of the given profile: the one whose cache holds the page.
    m_view->setPage(new QWebEnginePage(profile, m_view));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    resize(windowSize(owner));
    CloseWithKeys(this);

    m_view->setUrl(sourceAddress(address));
}

PageSourceWindow::~PageSourceWindow()
{
    // The page goes with its view, here, while the profile is still there.
    delete m_view;
    m_view = nullptr;
}

QUrl PageSourceWindow::sourceAddress(const QUrl &address)
{
    return QUrl(QStringLiteral("view-source:") + address.toString(QUrl::FullyEncoded));
}

QString PageSourceWindow::captionFor(const QUrl &address)
{
    return QStringLiteral("Source of ") + address.toDisplayString();
}

PageSourceWindow *ShowPageSource(const QUrl &address, QWebEngineProfile *profile, QWidget *owner)
{
    // The engine shows no source of its own source views, and nothing of an
    // address that is not one.
    if (!profile || !address.isValid() || address.isEmpty() || address.isRelative() ||
        address.scheme() == QLatin1String("view-source"))
        return nullptr;
    auto *window = new PageSourceWindow(address, profile, owner);
    CentreOverOwner(window, owner);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

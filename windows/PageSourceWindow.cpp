#include "windows/PageSourceWindow.h"

#include "platform/BestEffort.h"
#include "platform/SettingsStore.h"
#include "windows/FindBar.h"
#include "windows/WindowPlacement.h"

#include <QAction>
#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>

namespace {

// The size the user last left the window at, or three quarters of the
// owner's window; never smaller than a readable listing nor larger than the
// screen.
QSize windowSize(const QWidget *owner, const QSize &kept)
{
    const QWidget *ownerWindow = owner ? owner->window() : nullptr;
    const QScreen *screen = ownerWindow ? ownerWindow->screen() : QGuiApplication::primaryScreen();
    const QSize area = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    QSize size = kept.isValid() ? kept
                 : ownerWindow  ? ownerWindow->size() * 3 / 4
                                : QSize(900, 650);
    size = size.expandedTo(QSize(480, 360)).boundedTo(area);
    return size;
}

} // namespace

PageSourceWindow::PageSourceWindow(const QUrl &address, QWebEngineProfile *profile, QWidget *owner,
                                   const QString &productName)
    // A dialog in the window system's eyes (a window that belongs to its
    // owner's and stays over it), with the buttons of a main window.
    : QWidget(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      m_address(address), m_product(productName)
{
    setObjectName(QStringLiteral("PageSourceWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(captionFor(address));

    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("sourceView"));
    // A page of the given profile: the one whose cache holds the page.
    m_view->setPage(new QWebEnginePage(profile, m_view));
    m_findBar = new FindBar(this);
    m_findBar->setView(m_view);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_findBar);
    layout->addWidget(m_view, 1);
    QSize kept;
    if (!m_product.isEmpty())
        BestEffort([this, &kept] { kept = Settings(m_product).pageSourceSize(); });
    resize(windowSize(owner, kept));
    CloseWithKeys(this);

    // Find in the source, with the main window's keys, the same on every
    // desktop (the desktops' standard Find Next differs: Ctrl+G on GNOME).
    const struct {
        QKeySequence keys;
        void (FindBar::*step)();
    } finds[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_F), &FindBar::open},
        {QKeySequence(Qt::Key_F3), &FindBar::findNext},
        {QKeySequence(Qt::SHIFT | Qt::Key_F3), &FindBar::findPrevious},
    };
    for (const auto &find : finds) {
        auto *action = new QAction(this);
        action->setShortcut(find.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, m_findBar, find.step);
    }

    m_view->setUrl(sourceAddress(address));
}

PageSourceWindow::~PageSourceWindow()
{
    // The page goes with its view, here, while the profile is still there.
    delete m_view;
    m_view = nullptr;
}

void PageSourceWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Closed, or hidden with the main window as the program ends.
    if (!event->spontaneous())
        keepSize();
}

void PageSourceWindow::keepSize() const
{
    if (m_product.isEmpty())
        return;
    const QSize size = isMaximized() || isFullScreen() ? normalGeometry().size() : this->size();
    if (size.isValid())
        BestEffort([this, size] { Settings(m_product).setPageSourceSize(size); });
}

QUrl PageSourceWindow::sourceAddress(const QUrl &address)
{
    return QUrl(QStringLiteral("view-source:") + address.toString(QUrl::FullyEncoded));
}

QString PageSourceWindow::captionFor(const QUrl &address)
{
    return QStringLiteral("Source of ") + address.toDisplayString();
}

PageSourceWindow *ShowPageSource(const QUrl &address, QWebEngineProfile *profile, QWidget *owner,
                                 const QString &productName)
{
    // The engine shows no source of its own source views, and nothing of an
    // address that is not one.
    if (!profile || !address.isValid() || address.isEmpty() || address.isRelative() ||
        address.scheme() == QLatin1String("view-source"))
        return nullptr;
    auto *window = new PageSourceWindow(address, profile, owner, productName);
    CentreOverOwner(window, owner);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

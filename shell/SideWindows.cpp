#include "shell/SideWindows.h"

#include "platform/SkinHelper.h"

#include <QPointer>

namespace {
QPointer<QWidget> &splashWindow()
{
    static QPointer<QWidget> splash;
    return splash;
}
} // namespace

void SetSplash(QWidget *splash)
{
    splashWindow() = splash;
}

void UnloadSplash()
{
    if (QWidget *splash = splashWindow()) {
        splash->hide();
        splash->deleteLater();
    }
    splashWindow() = nullptr;
}

void StopSkinHelper(SkinHelper *helper)
{
    helper->stop();
}

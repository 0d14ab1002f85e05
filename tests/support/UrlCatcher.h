#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace testsupport {

// Catches what the program asks the desktop to open (install it with
// QDesktopServices::setUrlHandler(scheme, &catcher, "open")).
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace testsupport

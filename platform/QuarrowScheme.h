#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <functional>

class QWebEngineProfile;

// The program's own pages, served from memory under "quarrow:" addresses
// (quarrow://source/3, whose path is "source/3"). A page is asked for by its path; only the program
// itself may open one: a request that a page started (a link, a frame, a
// picture, a script of any page, ours included) is refused.
class QuarrowScheme : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    static const QByteArray Name; // "quarrow"

    // Makes the scheme known to the engine: once, before the application
    // object is made.
    static void registerScheme();

    // The address of the page at `path`.
    static QUrl address(const QString &path);
    // The path of one of the scheme's addresses ("source/3"); empty for any
    // other address.
    static QString pathOf(const QUrl &url);
    // True for an address of the scheme.
    static bool owns(const QUrl &url);

    // What the scheme serves at a path: the page as UTF-8 HTML, or null for
    // none (the request then fails as not found).
    using Provider = std::function<QByteArray(const QString &path)>;

    // Serves the scheme in `profile` from now on.
    QuarrowScheme(QWebEngineProfile *profile, Provider provider, QObject *parent = nullptr);
    ~QuarrowScheme() override;

    void requestStarted(QWebEngineUrlRequestJob *job) override;

signals:
    // A request was refused: it came from `initiator`, not from the program.
    void refused(const QUrl &url, const QUrl &initiator);

private:
    QPointer<QWebEngineProfile> m_profile;
    Provider m_provider;
};

#pragma once

#include "tests/shell/MainWindowFixture.h"
#include "tests/support/HttpServer.h"

#include <QWebEngineScript>

#include <memory>

class PageInfoWindow;
class QAbstractButton;

// The main window over a site of pictures used every way a page uses them:
//   /page.html   an img far down the page, a picture with a source, a
//                background from a style sheet, a lazy img, an img in a frame of
//                the same site, a hidden img, a meta picture, an icon and a rule
//                that matches nothing; text with characters the engine escapes
//                as it writes the body out. Its scripts watch the document and
//                the built-ins that measure and scroll, and list what they saw
//                in window.seen.
//   /lines.html  an img after three thousand lines.
class PictureLinksFixture : public MainWindowFixture {
public:
    void SetUp() override;

    // Opens the window, then `path` in the Browser view, waits for its harvest
    // and opens Page Info on it.
    void openPage(const QString &path);
    PageInfoWindow *pageInfo() const;
    QAbstractButton *pageInfoButton(const char *name) const;
    // Makes the row of the picture at `path` (of the site) the current one.
    bool selectRow(const QString &path);

    // Runs a script in a view, in a world of the test's choice.
    QVariant evaluateIn(int view, const QString &script,
                        quint32 world = QWebEngineScript::ApplicationWorld);
    // The Source Code view's marked line: its number, its text, whether it is
    // in sight, whether it lies in the middle third of the view.
    int markedLine();
    QString markedText();
    bool markedLineInSight();
    bool markedLineInMiddle();
    // The lines of the body's markup that the Source Code view shows.
    QStringList harvestedLines() const;
    // Waits until a view's page has drawn two more frames.
    void waitForFrame(int view);

    std::unique_ptr<testsupport::HttpServer> server;
};

// View > Page Source on the main window.
#include "tests/shell/MainWindowFixture.h"

#include "platform/WebBrowser.h"
#include "windows/PageSourceWindow.h"

#include <QAction>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

namespace {

using PageSourceCommand = MainWindowFixture;

// The one source window the main window has opened, or null.
PageSourceWindow *sourceWindow(Form1 *form)
{
    const QList<PageSourceWindow *> windows =
        form->findChildren<PageSourceWindow *>(Qt::FindDirectChildrenOnly);
    return windows.size() == 1 ? windows.first() : nullptr;
}

TEST_F(PageSourceCommand, IsOnTheViewMenuWithCtrlU)
{
    loadWindow();
    QAction *command = form->action(Command::PageSource);
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->text(), QStringLiteral("&Page Source"));
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    EXPECT_EQ(menuItem("View", "Page Source"), command);
}

TEST_F(PageSourceCommand, CtrlUShowsTheLivePagesSourceOverTheMainWindow)
{
    loadWindow();
    ASSERT_TRUE(waitForUrl(0, QUrl::fromLocalFile(programFile("start.html")).toString()));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_U, Qt::ControlModifier);

    QPointer<PageSourceWindow> window = sourceWindow(form.get());
    ASSERT_TRUE(window);
    EXPECT_EQ(window->address(), view(0)->url());
    EXPECT_EQ(window->windowTitle(),
              QStringLiteral("Source of ") + view(0)->url().toDisplayString());
    EXPECT_EQ(window->parentWidget(), form.get());
    QSignalSpy loaded(window->view(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(loaded.wait(20000));
    QString text;
    bool done = false;
    window->view()->page()->toPlainText([&](const QString &result) {
        text = result;
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    EXPECT_TRUE(text.contains(QStringLiteral("<head><title>Start</title></head>")))
        << text.toStdString();

    // The main window goes with its source window open.
    form.reset();
    EXPECT_TRUE(window.isNull());
}

} // namespace

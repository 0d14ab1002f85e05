#include "tests/shell/MainWindowFixture.h"

#include "platform/ProgramFolder.h"
#include "platform/WebBrowser.h"
#include "tests/support/TestSupport.h"
#include "windows/Branding.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineScript>

void MainWindowFixture::SetUp()
{
    ASSERT_TRUE(folder.isValid());
    ProgramFolder::setPathForTesting(folder.path());
    Form1::setOffTheRecord(true);
    testsupport::writeFile(programFile("start.html"),
                           "<html><head><title>Start</title></head><body>"
                           "<p>Welcome</p><img src=\"logo.png\"></body></html>");
}

void MainWindowFixture::TearDown()
{
    form.reset();
    ProgramFolder::setPathForTesting(QString());
}

void MainWindowFixture::loadWindow()
{
    form = std::make_unique<Form1>();
    form->resize(1000, 760);
    form->show();
}

QString MainWindowFixture::programFile(const QString &name) const
{
    return folder.path() + QLatin1Char('/') + name;
}

bool MainWindowFixture::waitForLoad(int view, int timeoutMs)
{
    QSignalSpy spy(form->wb[view], &WebBrowser::DownloadComplete);
    return spy.wait(timeoutMs);
}

bool MainWindowFixture::waitForHarvests(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (form->harvestsDone() < count && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return form->harvestsDone() >= count;
}

QVariant MainWindowFixture::evaluate(int view, const QString &script, int timeoutMs)
{
    struct Answer {
        QVariant value;
        bool done = false;
    };
    auto answer = std::make_shared<Answer>();
    form->wb[view]->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                          [answer](const QVariant &value) {
                                              answer->value = value;
                                              answer->done = true;
                                          });
    QElapsedTimer timer;
    timer.start();
    while (!answer->done && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return answer->value;
}

bool MainWindowFixture::waitForUrl(int view, const QString &url, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (form->wb[view]->LocationURL() != url && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return form->wb[view]->LocationURL() == url;
}

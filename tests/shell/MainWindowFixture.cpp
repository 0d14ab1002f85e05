#include "tests/shell/MainWindowFixture.h"

#include "platform/ProgramFolder.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"
#include "windows/Branding.h"

#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"

#include <QAbstractButton>
#include <QAction>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
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

WebBrowser *MainWindowFixture::view(int index) const
{
    return form->view(View(index));
}

QLineEdit *MainWindowFixture::addressBox() const
{
    return form->findChild<QLineEdit *>(QStringLiteral("txtUrl"));
}

StatusBar *MainWindowFixture::statusBar() const
{
    return form->findChild<StatusBar *>();
}

ProgressBar *MainWindowFixture::progressBar() const
{
    return form->findChild<ProgressBar *>();
}

TabStrip *MainWindowFixture::tabStrip() const
{
    return form->findChild<TabStrip *>();
}

QAbstractButton *MainWindowFixture::button(const char *objectName) const
{
    return form->findChild<QAbstractButton *>(QString::fromLatin1(objectName));
}

QAction *MainWindowFixture::menuItem(const QString &menu, const QString &item) const
{
    const auto plain = [](QString text) { return text.remove(u'&'); };
    for (QAction *title : form->menuBar()->actions()) {
        if (plain(title->text()) != menu || !title->menu())
            continue;
        for (QAction *entry : title->menu()->actions()) {
            if (plain(entry->text()) == item)
                return entry;
        }
    }
    ADD_FAILURE() << "no menu item " << menu.toStdString() << " > " << item.toStdString();
    return nullptr;
}

void MainWindowFixture::showView(int index)
{
    static const char *const names[] = {"Browser", "Source Code", "Images"};
    menuItem(QStringLiteral("View"), QString::fromLatin1(names[index]))->trigger();
}

int MainWindowFixture::visible() const
{
    return int(form->currentView());
}

bool MainWindowFixture::waitForLoad(int view, int timeoutMs)
{
    QSignalSpy spy(this->view(view), &WebBrowser::DownloadComplete);
    return spy.wait(timeoutMs);
}

bool MainWindowFixture::waitForHarvests(int count, int timeoutMs)
{
    QSignalSpy finished(form.get(), &Form1::harvestFinished);
    QDeadlineTimer deadline(timeoutMs);
    while (form->harvestsDone() < count && !deadline.hasExpired())
        finished.wait(int(std::max<qint64>(1, deadline.remainingTime())));
    return form->harvestsDone() >= count;
}

QVariant MainWindowFixture::evaluate(int view, const QString &script, int timeoutMs)
{
    struct Answer {
        QVariant value;
        bool done = false;
        QPointer<QEventLoop> loop;
    };
    auto answer = std::make_shared<Answer>();
    this->view(view)->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                                            [answer](const QVariant &value) {
                                                answer->value = value;
                                                answer->done = true;
                                                if (answer->loop)
                                                    answer->loop->quit();
                                            });
    if (!answer->done) {
        // A script that never answers leaves the value empty.
        QEventLoop loop;
        answer->loop = &loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return answer->value;
}

bool MainWindowFixture::waitForUrl(int view, const QString &url, int timeoutMs)
{
    QUARROW_WAIT_UNTIL(this->view(view)->LocationURL() == url, timeoutMs);
    return this->view(view)->LocationURL() == url;
}

QString MainWindowFixture::generatedAddress(int view) const
{
    return QStringLiteral("quarrow://%1/%2")
        .arg(view == 1 ? QStringLiteral("source") : QStringLiteral("images"))
        .arg(form->generatedViews()->generation());
}

bool MainWindowFixture::waitForGeneratedViews(int timeoutMs)
{
    const auto shown = [this] {
        for (int index : {1, 2}) {
            if (view(index)->LocationURL() != generatedAddress(index) || view(index)->Busy())
                return false;
        }
        // The view's address is the one it is on its way to as soon as it is
        // sent there, and a load that starts while another ends may not say
        // so at once: the document itself tells where it is.
        for (int index : {1, 2}) {
            if (evaluate(index, QStringLiteral("location.href")).toString() !=
                generatedAddress(index))
                return false;
        }
        return true;
    };
    QElapsedTimer timer;
    timer.start();
    while (!shown() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!shown()) {
        for (int index : {1, 2})
            ADD_FAILURE() << "view " << index << " shows "
                          << view(index)->LocationURL().toStdString()
                          << (view(index)->Busy() ? ", busy" : "") << ", not "
                          << generatedAddress(index).toStdString();
    }
    return shown();
}

// The history with real keys: Quarrow itself on an X server of the test's own
// with a window manager, keys typed through the server as a user's are, and
// the history read from the file the program keeps.
#include "platform/History.h"
#include "platform/SettingsStore.h"
#include "tests/support/Eventually.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XDisplay.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class HistoryKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(site.isValid());
        server = std::make_unique<testsupport::HttpServer>(site.path());
        server->setRoute("/alpha.html", "<html><head><title>Alpha Centauri guide</title></head>"
                                        "<body><h1>Alpha</h1></body></html>");
        server->setRoute("/beta.html", "<html><head><title>Beta testing notes</title></head>"
                                       "<body><h1>Beta</h1></body></html>");
        ASSERT_TRUE(server->start());
        // The help window opens at start-up unless told not to; it would take
        // the keys.
        SaveSetting("Quarrow", "Settings", "showHelp", "0");
        // The program keeps its history in the user's data folder.
        QCoreApplication::setOrganizationName("Quarrow");
        QCoreApplication::setApplicationName("Quarrow");
        historyFile = History::defaultFile();
        QFile::remove(historyFile);

        // The program runs on the test's X display, as this process does.
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QUARROW_PROGRAM, {server->urlText("/alpha.html")});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(waitForVisits("/alpha.html", 1));
        // The main window has the keys.
        QUARROW_WAIT_UNTIL(!windowsNamed("^Quarrow by").isEmpty(), 30000);
        const QStringList windows = windowsNamed("^Quarrow by");
        ASSERT_FALSE(windows.isEmpty());
        testsupport::runOnDisplay("xdotool", {"windowactivate", "--sync", windows.first()});
    }

    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(10000);
        }
    }

    // How often the program's history says the page was visited.
    int visits(const QString &path) const
    {
        int count = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
            db.setDatabaseName(historyFile);
            db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000");
            if (db.open()) {
                QSqlQuery query(db);
                query.prepare("SELECT visits FROM pages WHERE address = ?");
                query.addBindValue(server->url(path).toString(QUrl::FullyEncoded));
                if (query.exec() && query.next())
                    count = query.value(0).toInt();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase("reader");
        return count;
    }
    bool waitForVisits(const QString &path, int count)
    {
        QUARROW_WAIT_UNTIL(visits(path) >= count || program.state() == QProcess::NotRunning, 30000);
        return visits(path) == count;
    }
    // Keys typed through the X server, as a user's are.
    static void keys(const QString &sequence)
    {
        testsupport::runOnDisplay("xdotool", {"key", sequence});
    }
    static void type(const QString &text)
    {
        testsupport::runOnDisplay("xdotool", {"type", "--delay", "40", text});
    }
    // The visible windows whose title matches the pattern.
    static QStringList windowsNamed(const QString &pattern)
    {
        return QString::fromLatin1(testsupport::runOnDisplay(
                                       "xdotool", {"search", "--onlyvisible", "--name", pattern}))
            .split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir site;
    std::unique_ptr<testsupport::HttpServer> server;
    QProcess program;
    QString historyFile;
};

TEST_F(HistoryKeys, ArrowsEnterAndEscChooseFromTheAddressBoxAndTheHistoryWindow)
{
    keys("ctrl+l");
    type(server->urlText("/beta.html"));
    keys("Return");
    ASSERT_TRUE(waitForVisits("/beta.html", 1));

    // Typing words of a title offers the page; Down chooses it, Enter opens it.
    keys("ctrl+l");
    type("alpha cent");
    keys("Down");
    keys("Return");
    ASSERT_TRUE(waitForVisits("/alpha.html", 2));

    // Esc closes the list and gives back what was typed: Enter then opens
    // that, not the page that was chosen.
    keys("ctrl+l");
    const QString typed = server->urlText("/be");
    type(typed);
    keys("Down");
    keys("Escape");
    keys("Return");
    EXPECT_EVENTUALLY(server->requests().contains("/be"), 30000);
    EXPECT_EQ(server->requests().count("/beta.html"), 1);
    EXPECT_EQ(visits("/beta.html"), 1);

    // The History window: the filter, Down into the list, Enter opens.
    keys("ctrl+h");
    QUARROW_WAIT_UNTIL(!windowsNamed("^History$").isEmpty(), 30000);
    ASSERT_FALSE(windowsNamed("^History$").isEmpty());
    type("beta");
    keys("Down");
    keys("Return");
    ASSERT_TRUE(waitForVisits("/beta.html", 2));
    EXPECT_EVENTUALLY(windowsNamed("^History$").isEmpty(), 10000);

    // Esc closes it.
    keys("ctrl+h");
    QUARROW_WAIT_UNTIL(!windowsNamed("^History$").isEmpty(), 30000);
    ASSERT_FALSE(windowsNamed("^History$").isEmpty());
    keys("Escape");
    EXPECT_EVENTUALLY(windowsNamed("^History$").isEmpty(), 10000);

    keys("ctrl+q");
    EXPECT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(visits("/alpha.html"), 2);
}

} // namespace

// What the window says about a load, and the pages it shows in place of one
// that failed.
#include "platform/LoadWords.h"
#include "platform/OwnPages.h"

#include "tests/support/TestSupport.h"
#include "tests/support/TlsServer.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(LoadWords, TheEnginesErrorsInAUsersWords)
{
    const struct {
        int code;
        const char *engine;
        const char *words;
    } cases[] = {
        {-102, "net::ERR_CONNECTION_REFUSED", "The server refused the connection"},
        {-105, "net::ERR_NAME_NOT_RESOLVED", "No such host"},
        {-202, "net::ERR_CERT_AUTHORITY_INVALID", "The certificate is not trusted"},
        {-201, "net::ERR_CERT_DATE_INVALID", "The certificate has expired or is not yet valid"},
        {-200, "net::ERR_CERT_COMMON_NAME_INVALID", "The certificate is for another site"},
        {-118, "net::ERR_CONNECTION_TIMED_OUT", "The connection timed out"},
        {-101, "net::ERR_CONNECTION_RESET", "The connection was reset"},
        {-324, "net::ERR_EMPTY_RESPONSE", "The server closed the connection without an answer"},
        {-312, "net::ERR_UNSAFE_PORT", "Web pages may not use this port"},
        {-310, "net::ERR_TOO_MANY_REDIRECTS", "The page redirects in a loop"},
        {-6, "net::ERR_FILE_NOT_FOUND", "No such file"},
        // Codes without words of their own are named as the engine names them.
        {-999, "net::ERR_SOMETHING_NEW", "The page could not be loaded (ERR_SOMETHING_NEW)"},
        {-998, "", "The page could not be loaded (error -998)"},
        {-997, "<b>markup</b>", "The page could not be loaded (error -997)"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LoadWords::networkError(c.code, QString::fromLatin1(c.engine)),
                  QString::fromLatin1(c.words))
            << c.code;
}

TEST(LoadWords, StatusTexts)
{
    EXPECT_EQ(LoadWords::opening(QUrl("https://example.com:8443/a/b.html?q")),
              QString("Opening example.com\u2026"));
    EXPECT_EQ(LoadWords::opening(QUrl::fromLocalFile("/tmp/some folder/page.html")),
              QString("Opening page.html\u2026"));
    EXPECT_EQ(LoadWords::done(), "Done");
    EXPECT_EQ(LoadWords::stopped(), "Stopped");
    EXPECT_EQ(LoadWords::doneWithStatus(404), "Done: 404 Not Found");
    EXPECT_EQ(LoadWords::doneWithStatus(500), "Done: 500 Internal Server Error");
    EXPECT_EQ(LoadWords::doneWithStatus(418), "Done: 418 I'm a teapot");
    EXPECT_EQ(LoadWords::doneWithStatus(599), "Done: HTTP 599");
    EXPECT_EQ(LoadWords::couldNotOpen(QUrl("http://127.0.0.1:9/x%20y.html"), "No such host"),
              "Could not open http://127.0.0.1:9/x y.html: No such host");
}

TEST(LoadWords, CertificateErrorsAreTold)
{
    for (int code : {-150, -200, -201, -202, -207, -213, -218})
        EXPECT_TRUE(LoadWords::isCertificateError(code)) << code;
    for (int code : {-2, -102, -105, -199, -300, -312, 404})
        EXPECT_FALSE(LoadWords::isCertificateError(code)) << code;
    EXPECT_EQ(LoadWords::engineName("net::ERR_CERT_DATE_INVALID"), "ERR_CERT_DATE_INVALID");
    EXPECT_EQ(LoadWords::engineName("something else"), "");
}

TEST(OwnPages, OnlyTheirOwnAddressesAreButtons)
{
    const QString token = OwnPages::newToken();
    for (auto button :
         {OwnPages::Button::TryAgain, OwnPages::Button::GoBack, OwnPages::Button::Continue}) {
        QString read;
        EXPECT_EQ(OwnPages::buttonOf(OwnPages::buttonUrl(button, token), &read), button);
        EXPECT_EQ(read, token);
    }
    const struct {
        const char *address;
        bool refused; // the view refuses it whatever it does
    } others[] = {
        {"https://quarrow.invalid/try-again?abc", true},
        {"http://quarrow.invalid/delete-everything?abc", true},
        {"http://QUARROW.invalid/go-back/more?abc", true},
        {"http://quarrow.invalid.example.com/try-again?abc", false},
        {"http://example.com/quarrow.invalid/try-again?abc", false},
        {"quarrow:try-again", false},
    };
    for (const auto &other : others) {
        const QUrl url(QString::fromLatin1(other.address));
        EXPECT_EQ(OwnPages::buttonOf(url), OwnPages::Button::None) << other.address;
        EXPECT_EQ(OwnPages::isButtonAddress(url), other.refused) << other.address;
    }
    const QString another = OwnPages::newToken();
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{32}$").match(token).hasMatch())
        << token.toStdString();
    EXPECT_NE(token, another);
}

TEST(OwnPages, TheErrorPageNamesTheAddressAndKeepsItText)
{
    const QUrl hostile("http://example.com/\"><script>alert(1)</script>?a=1&b=<i>");
    const QString page = OwnPages::errorPage(hostile, -105, "No such host", "ERR_NAME_NOT_RESOLVED",
                                             "0123456789abcdef");
    EXPECT_FALSE(page.contains("<script")) << page.toStdString();
    EXPECT_FALSE(page.contains("<i>"));
    EXPECT_TRUE(page.contains("<p class=\"reason\">No such host.</p>"));
    EXPECT_TRUE(page.contains("ERR_NAME_NOT_RESOLVED"));
    EXPECT_TRUE(page.contains("data-quarrow-page=\"0123456789abcdef\""));
    EXPECT_TRUE(page.contains("href=\"http://quarrow.invalid/try-again?0123456789abcdef\""));
    EXPECT_TRUE(page.contains(">Try Again</a>"));
    // The page runs no script and loads nothing.
    EXPECT_TRUE(page.contains("default-src 'none'; style-src 'unsafe-inline'"));
}

TEST(OwnPages, TheCertificatePageShowsTheCertificateAndAWayOnOnlyWhereThereIsOne)
{
    testsupport::TlsServer server;
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    CertificateProblem problem;
    problem.host = "127.0.0.1";
    problem.code = -202;
    problem.description = "Server's certificate is not trusted.";
    problem.chain = {server.certificate()};
    const QUrl address("https://127.0.0.1:8443/secret.html");
    for (bool overridable : {true, false}) {
        problem.overridable = overridable;
        const QString page = OwnPages::certificatePage(address, "The certificate is not trusted",
                                                       problem, "feedfacefeedface");
        EXPECT_TRUE(page.contains(">Go Back</a>"));
        EXPECT_TRUE(page.contains("<details><summary>Details</summary>"));
        // Go Back comes first, and is the one that takes the keys.
        EXPECT_LT(page.indexOf("id=\"go-back\""), page.indexOf("<details>"));
        EXPECT_TRUE(page.contains("id=\"go-back\" class=\"button\" href=\"http://quarrow.invalid/"
                                  "go-back?feedfacefeedface\" autofocus"));
        EXPECT_TRUE(page.contains("<td>CN=127.0.0.1, O=Quarrow Test Site</td>")) << overridable;
        EXPECT_TRUE(
            page.contains(OwnPages::dateText(server.certificate().expiryDate()).toHtmlEscaped()));
        EXPECT_EQ(page.contains(">Continue to 127.0.0.1 (unsafe)</a>"), overridable);
        if (overridable) {
            EXPECT_GT(page.indexOf("id=\"continue\""), page.indexOf("<details>"));
        }
    }
    EXPECT_EQ(OwnPages::subjectText(server.certificate()), "CN=127.0.0.1, O=Quarrow Test Site");
    EXPECT_EQ(OwnPages::issuerText(server.certificate()), "CN=127.0.0.1, O=Quarrow Test Site");
    EXPECT_EQ(OwnPages::dateText(QDateTime(QDate(2026, 12, 9), QTime(19, 45), Qt::UTC)),
              "9 Dec 2026, 19:45 UTC");
}

} // namespace

// The address box's mark of how safe the page's connection is, and the window
// its click opens.
#include "windows/SecurityMark.h"
#include "windows/CertificateWindow.h"

#include "tests/support/TlsServer.h"

#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

TEST(SecurityMark, EachLevelHasItsMark)
{
    QLineEdit box;
    box.resize(500, 24);
    auto *mark = new SecurityMark(&box);
    box.show();
    const struct {
        const char *address;
        PageSecurity::Level level;
        const char *text;
        const char *toolTipStart;
    } cases[] = {
        {"https://example.com/", PageSecurity::Secure, "", "Secure connection to example.com"},
        {"https://example.com/", PageSecurity::Overridden, "",
         "The certificate of example.com is not trusted"},
        {"http://example.com/", PageSecurity::NotSecure, "Not secure",
         "The connection to example.com is not encrypted"},
        {"file:///tmp/a.html", PageSecurity::Neutral, "", ""},
    };
    for (const auto &c : cases) {
        PageSecurity security;
        security.url = QUrl(QString::fromLatin1(c.address));
        security.level = c.level;
        mark->setSecurity(security);
        EXPECT_EQ(mark->isVisible(), c.level != PageSecurity::Neutral) << c.address;
        EXPECT_EQ(mark->text(), QString::fromLatin1(c.text)) << c.address;
        EXPECT_EQ(mark->toolTip().left(int(qstrlen(c.toolTipStart))),
                  QString::fromLatin1(c.toolTipStart))
            << c.address;
        EXPECT_EQ(mark->icon().isNull(), c.level == PageSecurity::Neutral);
        // The address starts after the mark, never under it.
        EXPECT_EQ(box.textMargins().left(),
                  c.level == PageSecurity::Neutral ? 0 : mark->geometry().right() + 1)
            << c.address;
    }
}

TEST(SecurityMark, AClickShowsTheCertificatesOfAPassedProblem)
{
    testsupport::TlsServer server;
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    QLineEdit box;
    box.resize(500, 24);
    auto *mark = new SecurityMark(&box);
    box.show();
    PageSecurity security;
    security.url = QUrl("https://127.0.0.1:8443/");
    security.level = PageSecurity::Overridden;
    security.problem.host = "127.0.0.1";
    security.problem.code = -202;
    security.problem.overridable = true;
    security.problem.chain = {server.certificate(), server.certificate()};
    mark->setSecurity(security);
    mark->click();
    CertificateWindow *window = mark->certificateWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->summary().contains("The certificate is not trusted"))
        << window->summary().toStdString();
    QTreeWidget *chain = window->chain();
    ASSERT_EQ(chain->topLevelItemCount(), 2);
    EXPECT_EQ(chain->topLevelItem(0)->text(0), "The site's certificate");
    EXPECT_EQ(chain->topLevelItem(0)->text(1), "127.0.0.1");
    EXPECT_EQ(chain->topLevelItem(1)->text(0), "Issuer 1");
    QStringList fields;
    for (int i = 0; i < chain->topLevelItem(0)->childCount(); ++i)
        fields << chain->topLevelItem(0)->child(i)->text(0) + ": " +
                      chain->topLevelItem(0)->child(i)->text(1);
    EXPECT_TRUE(fields.contains("Subject: CN=127.0.0.1, O=Quarrow Test Site"))
        << fields.join(" | ").toStdString();
    EXPECT_TRUE(fields.contains("Issuer: CN=127.0.0.1, O=Quarrow Test Site"));

    // The open window follows the page: a plain http page has no certificate.
    PageSecurity plain;
    plain.url = QUrl("http://example.com/");
    plain.level = PageSecurity::NotSecure;
    mark->setSecurity(plain);
    EXPECT_EQ(chain->topLevelItemCount(), 0);
    EXPECT_FALSE(chain->isVisible());
    EXPECT_TRUE(window->summary().contains("is not secure"));
    window->close();
}

} // namespace

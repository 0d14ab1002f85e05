#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// What a site, or a proxy on the way to it, asks a user name and password for.
struct LoginQuestion {
    // Who asks: the site's host (and port, when it is not the scheme's own),
    // or the proxy's host.
    QString asker;
    // The site the page is on its way to (for a proxy's question).
    QString site;
    // The server's own words for what it protects (its realm): shown as text,
    // quoted, never as markup.
    QString realm;
    bool proxy = false;
    // The last answer to the same question was refused.
    bool again = false;
    // The answer would travel unencrypted.
    bool unencrypted = false;
    // The user name to start with (the one typed before a refused answer).
    QString user;
};

// The login dialog: names who asks and what for, takes a user name and a
// masked password. "Log In" is the default button; Esc and Cancel refuse.
// Nothing it is told is kept after it has gone.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(const LoginQuestion &question, QWidget *parent = nullptr);

    QString user() const;
    QString password() const;

    // The caption: "Log in to " and who asks.
    static QString captionFor(const LoginQuestion &question);
    // The first line: who asks, and for which site when a proxy asks.
    static QString questionText(const LoginQuestion &question);

private:
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
};

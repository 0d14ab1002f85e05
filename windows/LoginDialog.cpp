#include "windows/LoginDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// A realm is the server's to choose: a long one is cut, and no line break
// of its own may make it look like the dialog's text.
QString realmText(QString realm)
{
    realm = realm.simplified();
    constexpr int longest = 120;
    if (realm.size() > longest)
        realm = realm.left(longest - 1) + QChar(0x2026);
    return realm;
}

QLabel *plainLabel(const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    // What a server says is shown as it is written, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

QString LoginDialog::captionFor(const LoginQuestion &question)
{
    return question.proxy ? tr("Log in to the proxy %1").arg(question.asker)
                          : tr("Log in to %1").arg(question.asker);
}

QString LoginDialog::questionText(const LoginQuestion &question)
{
    return question.proxy ? tr("The proxy %1 asks for a user name and password to open %2.")
                                .arg(question.asker, question.site)
                          : tr("%1 asks for a user name and password.").arg(question.asker);
}

LoginDialog::LoginDialog(const LoginQuestion &question, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginDialog"));
    // A question, not a window to keep: a title and a close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(captionFor(question));
    setModal(true);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    auto *text = new QVBoxLayout;
    auto *asks = plainLabel(questionText(question), "loginQuestion", this);
    QFont bold = asks->font();
    bold.setBold(true);
    asks->setFont(bold);
    text->addWidget(asks);
    if (!question.realm.trimmed().isEmpty()) {
        text->addWidget(
            plainLabel(tr("The site says: \u201c%1\u201d").arg(realmText(question.realm)),
                       "loginRealm", this));
    }
    if (question.unencrypted) {
        text->addWidget(
            plainLabel(tr("The connection is not secure: the password travels as it is typed."),
                       "loginUnencrypted", this));
    }
    if (question.again) {
        auto *again = plainLabel(tr("The user name or password was not accepted. Try again."),
                                 "loginAgain", this);
        QPalette palette = again->palette();
        palette.setColor(QPalette::WindowText, QColor(160, 0, 0));
        again->setPalette(palette);
        text->addWidget(again);
    }

    m_user = new QLineEdit(question.user, this);
    m_user->setObjectName(QStringLiteral("loginUser"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("loginPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_user->setMinimumWidth(280);
    auto *fields = new QFormLayout;
    fields->addRow(tr("&User name:"), m_user);
    fields->addRow(tr("&Password:"), m_password);
    text->addSpacing(6);
    text->addLayout(fields);

    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *logIn = buttons->button(QDialogButtonBox::Ok);
    logIn->setText(tr("Log In"));
    logIn->setObjectName(QStringLiteral("loginOk"));
    logIn->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("loginCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(4);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The name again after a refusal: the password is what was wrong, most often.
    (question.user.isEmpty() ? m_user : m_password)->setFocus(Qt::OtherFocusReason);
}

QString LoginDialog::user() const
{
    return m_user->text();
}

QString LoginDialog::password() const
{
    return m_password->text();
}

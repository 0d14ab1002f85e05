#include "windows/CertificateWindow.h"

#include "platform/LoadWords.h"
#include "platform/OwnPages.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

CertificateWindow::CertificateWindow(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("CertificateWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("certificateSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_chain = new QTreeWidget(this);
    m_chain->setObjectName(QStringLiteral("certificateChain"));
    m_chain->setColumnCount(2);
    m_chain->setHeaderLabels({tr("Certificate"), tr("Value")});
    m_chain->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_chain->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_chain, 1);
    layout->addWidget(buttons);
    resize(640, 420);
}

QString CertificateWindow::summary() const
{
    return m_summary->text();
}

void CertificateWindow::setSecurity(const PageSecurity &security)
{
    const QString host = security.url.host();
    setWindowTitle(
        tr("Security of %1").arg(host.isEmpty() ? security.url.toDisplayString() : host));
    const CertificateProblem &problem = security.problem;
    const QString reason = problem.code ? LoadWords::networkError(problem.code) : QString();
    QString text;
    switch (security.level) {
    case PageSecurity::Secure:
        text = tr("The connection to %1 is secure. The engine checked the certificate the site "
                  "showed and trusts it; it does not hand trusted certificates on, so none is "
                  "listed here.")
                   .arg(host);
        break;
    case PageSecurity::Overridden:
        text = tr("The connection to %1 is encrypted, but its certificate has a problem: %2. "
                  "You chose to continue to it; the choice holds until Quarrow ends.")
                   .arg(host, reason);
        break;
    case PageSecurity::NotSecure:
        text = problem.isNull()
                   ? tr("The connection to %1 is not secure: what you send and receive can be "
                        "read and changed on the way.")
                         .arg(host)
                   : tr("The certificate of %1 has a problem: %2.").arg(host, reason);
        break;
    case PageSecurity::Neutral:
        text = tr("This page did not come over the network.");
        break;
    }
    m_summary->setText(text);

    m_chain->clear();
    for (qsizetype i = 0; i < problem.chain.size(); ++i) {
        const QSslCertificate &certificate = problem.chain.at(i);
        const QStringList names = certificate.subjectInfo(QSslCertificate::CommonName);
        auto *item = new QTreeWidgetItem(m_chain);
        item->setText(0, i == 0 ? tr("The site's certificate") : tr("Issuer %1").arg(i));
        item->setText(1, names.isEmpty() ? OwnPages::subjectText(certificate) : names.first());
        const auto add = [item](const QString &name, const QString &value) {
            auto *field = new QTreeWidgetItem(item);
            field->setText(0, name);
            field->setText(1, value);
            field->setToolTip(1, value);
        };
        add(tr("Subject"), OwnPages::subjectText(certificate));
        add(tr("Issuer"), OwnPages::issuerText(certificate));
        add(tr("Valid from"), OwnPages::dateText(certificate.effectiveDate()));
        add(tr("Valid until"), OwnPages::dateText(certificate.expiryDate()));
        add(tr("Serial number"), QString::fromLatin1(certificate.serialNumber()));
        add(tr("SHA-256"),
            QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':')));
        item->setExpanded(i == 0);
    }
    m_chain->setVisible(!problem.chain.isEmpty());
}

#pragma once

#include "platform/PageSecurity.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

// What is known about the connection of the page that shows: whether it is
// secure, and the certificates the site showed when the engine had something
// against them (the site's first, then each issuer), with their subject,
// issuer, dates and fingerprints.
class CertificateWindow : public QDialog {
    Q_OBJECT
public:
    explicit CertificateWindow(QWidget *owner = nullptr);

    void setSecurity(const PageSecurity &security);
    QString summary() const;
    QTreeWidget *chain() const { return m_chain; }

private:
    QLabel *m_summary;
    QTreeWidget *m_chain;
};

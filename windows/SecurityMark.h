#pragma once

#include "platform/PageSecurity.h"
#include "windows/CertificateWindow.h"

#include <QPointer>
#include <QToolButton>

class QLineEdit;

// The mark at the start of the address box that says how safe the page's
// connection is: a padlock for a trusted https page, a warning sign for an
// https page whose certificate problem the user passed, "Not secure" for
// plain http and for a certificate warning; nothing for local files and the
// program's own pages. A click shows what is known of the certificate.
class SecurityMark : public QToolButton {
    Q_OBJECT
public:
    // Sits inside `addressBox`, whose text starts after it.
    explicit SecurityMark(QLineEdit *addressBox);

    void setSecurity(const PageSecurity &security);
    const PageSecurity &security() const { return m_security; }
    // The window a click opened, while it is open.
    CertificateWindow *certificateWindow() const { return m_window; }

    // The marks' pictures, drawn at `size` pixels.
    static QIcon padlock(int size);
    static QIcon warning(int size);
    static QIcon openLock(int size, const QColor &colour);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void showCertificate();

    QLineEdit *m_box;
    PageSecurity m_security;
    QPointer<CertificateWindow> m_window;
};

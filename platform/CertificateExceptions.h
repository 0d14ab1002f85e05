#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>

// A certificate that the engine would not trust, as it told us: for the host
// it was shown by.
struct CertificateProblem {
    QString host;
    int code = 0;        // the engine's error code (net::ERR_CERT_AUTHORITY_INVALID is -202)
    QString description; // the engine's own sentence
    bool overridable = false;
    QList<QSslCertificate> chain; // the site's first

    bool isNull() const { return host.isEmpty(); }
};

// The hosts whose certificate problems the user chose to pass, for this run
// only: nothing is kept on disk. One list serves every view of a profile, as
// the engine itself remembers such a choice for the profile.
class CertificateExceptions : public QObject {
    Q_OBJECT
public:
    explicit CertificateExceptions(QObject *parent = nullptr);

    // The list of `owner` (a profile), made on first use and gone with it.
    static CertificateExceptions *of(QObject *owner);

    void allow(const CertificateProblem &problem);
    bool allows(const QString &host) const;
    // What the host's certificate had against it when it was allowed (null
    // for a host not allowed).
    CertificateProblem problemOf(const QString &host) const;

signals:
    void changed();

private:
    QHash<QString, CertificateProblem> m_allowed;
};

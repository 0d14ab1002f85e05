#include "platform/CertificateExceptions.h"

CertificateExceptions::CertificateExceptions(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("certificateExceptions"));
}

CertificateExceptions *CertificateExceptions::of(QObject *owner)
{
    auto *exceptions = owner->findChild<CertificateExceptions *>(
        QStringLiteral("certificateExceptions"), Qt::FindDirectChildrenOnly);
    return exceptions ? exceptions : new CertificateExceptions(owner);
}

void CertificateExceptions::allow(const CertificateProblem &problem)
{
    if (problem.host.isEmpty() || !problem.overridable)
        return;
    m_allowed.insert(problem.host.toLower(), problem);
    emit changed();
}

bool CertificateExceptions::allows(const QString &host) const
{
    return !host.isEmpty() && m_allowed.contains(host.toLower());
}

CertificateProblem CertificateExceptions::problemOf(const QString &host) const
{
    return m_allowed.value(host.toLower());
}

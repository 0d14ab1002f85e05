#include "platform/VersionInfo.h"

namespace {
VersionInfo &stored()
{
    static VersionInfo info = VersionInfo::build();
    return info;
}
} // namespace

const VersionInfo &VersionInfo::current()
{
    return stored();
}

void VersionInfo::setCurrent(const VersionInfo &info)
{
    stored() = info;
}

QString VersionInfo::versionText() const
{
    return QStringLiteral("%1.%2.%3").arg(Major).arg(Minor).arg(Revision);
}

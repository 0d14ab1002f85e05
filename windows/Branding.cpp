#include "windows/Branding.h"

#include "platform/VersionInfo.h"

Branding Branding::fromVersionInfo()
{
    const VersionInfo &info = VersionInfo::current();
    return {info.ProductName, info.CompanyName, info.Comments};
}

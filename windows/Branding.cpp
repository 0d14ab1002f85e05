#include "windows/Branding.h"

#include "platform/VersionInfo.h"

QString BrandProductName;
QString BrandCompanyName;
QString BrandWebsite;
bool SkinsEnabled = false;
QString WebsiteMode;

void LoadBranding()
{
    const VersionInfo &info = VersionInfo::current();
    BrandProductName = info.ProductName;
    BrandCompanyName = info.CompanyName;
    BrandWebsite = info.Comments;
    SkinsEnabled = true;
}

#pragma once

#include <QString>

// Program-wide values set at start-up from the version information.
extern QString BrandProductName;
extern QString BrandCompanyName;
extern QString BrandWebsite; // the comments field: the product's website address
extern bool SkinsEnabled;

// What the website window opens: "Website", or empty when it has done so.
extern QString WebsiteMode;

// Reads product name, company name and website from the version information
// and switches skinning on.
void LoadBranding();

#pragma once

#include <QString>

// The program's branding: product name, company name and website, as its version
// information gives them. The application reads it once and hands it to the
// windows that show it.
struct Branding {
    QString productName;
    QString companyName;
    QString website; // the comments field: the product's website address

    static Branding fromVersionInfo();
};

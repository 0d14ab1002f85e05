#pragma once

#include <QString>

// The program's version information: what the executable carries as its
// product name, company name, version numbers and comments (the website).
struct VersionInfo {
    QString ProductName;
    QString CompanyName;
    QString Comments; // the product's website address
    QString LegalCopyright;
    int Major = 0;
    int Minor = 0;
    int Revision = 0;

    // The version as the program names it everywhere (the about window,
    // --version): "major.minor.revision".
    QString versionText() const;

    // The information of this build.
    static VersionInfo build();
    // What the program reads; the build's information unless replaced.
    static const VersionInfo &current();
    // Replaces what current() returns (tests show other versions with it).
    static void setCurrent(const VersionInfo &info);
};

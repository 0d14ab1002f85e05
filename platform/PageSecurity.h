#pragma once

#include "platform/CertificateExceptions.h"

#include <QUrl>

// How safe the connection of the page a view shows is, as the address box
// marks it.
struct PageSecurity {
    enum Level {
        Neutral,    // a local file, a page of ours, nothing shown
        Secure,     // https, its certificate trusted
        Overridden, // https, its certificate's problem passed by the user
        NotSecure,  // plain http, or a certificate warning that shows
    };
    Level level = Neutral;
    QUrl url;
    // What was wrong with the certificate (Overridden, and the warning page).
    CertificateProblem problem;

    // The level of a page loaded from `url`, its host passed or not.
    static Level levelFor(const QUrl &url, bool passed)
    {
        const QString scheme = url.scheme();
        if (scheme == QLatin1String("https") || scheme == QLatin1String("wss"))
            return passed ? Overridden : Secure;
        if (scheme == QLatin1String("http") || scheme == QLatin1String("ws"))
            return NotSecure;
        return Neutral;
    }
};

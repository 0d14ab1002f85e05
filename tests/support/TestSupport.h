#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// Points the process at an offscreen platform, a private HOME and XDG folders,
// and lets Qt WebEngine start as root. Call first thing in main(), before any
// application object exists. Values already set by the caller are kept.
void prepareEnvironment();

// The private HOME made by prepareEnvironment().
QString homeFolder();

// The checked-in test data folder (tests/data in the source tree).
QString dataFolder();

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace testsupport

#include <ostream>

// GoogleTest shows a QString that differs as its text, not as its bytes.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

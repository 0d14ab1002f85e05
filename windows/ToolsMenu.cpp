#include "windows/ToolsMenu.h"

#include "platform/DesktopEntry.h"
#include "platform/ProgramFolder.h"
#include "platform/VersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

const QString ExtensionKeyPath = QStringLiteral(
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{ECC5777A-6E88-BFCE-13CE-81F134789E7B}");
const QString ExtensionExecClsid = QStringLiteral("{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");

namespace {

// The product name as the version information gives it.
QString productName()
{
    return VersionInfo::current().ProductName;
}

// The application folder as the process reports it, and the separator its
// paths use: on Windows the folder with backslashes, joined with "\" without
// looking for a trailing one (so a drive root gives a doubled backslash);
// elsewhere the folder with "/".
#ifdef _WIN32
QString applicationFolder()
{
    return QDir::toNativeSeparators(ProgramFolder::path());
}
const QString Separator = QStringLiteral("\\");
QString executableName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
           QStringLiteral(".exe");
}
#else
QString applicationFolder()
{
    return ProgramFolder::path();
}
const QString Separator = QStringLiteral("/");
// The executable as it really is named here: no ".exe".
QString executableName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}
#endif

} // namespace

QList<QPair<QString, QString>> ExtensionValues()
{
    const QString folder = applicationFolder();
    const QString product = productName();
    return {
        {QStringLiteral("ButtonText"), product},
        {QStringLiteral("CLSID"), ExtensionExecClsid},
        {QStringLiteral("Default Visible"), QStringLiteral("Yes")},
        {QStringLiteral("Exec"), folder + Separator + executableName()},
        {QStringLiteral("HotIcon"), folder + Separator + QStringLiteral("hoticon.ico")},
        {QStringLiteral("Icon"), folder + Separator + QStringLiteral("icon.ico")},
        {QStringLiteral("MenuStatusBar"), product},
        {QStringLiteral("MenuText"), QStringLiteral("&") + product},
    };
}

QString TrimKeyPath(const QString &keyPath)
{
    QString path = keyPath;
    if (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path;
}

bool WriteRegistryString(Registry::Root root, const QString &keyPath, const QString &valueName,
                         const QString &text)
{
    std::optional<Registry::Key> key = Registry::createKey(root, TrimKeyPath(keyPath));
    if (!key)
        return false;
    const bool written = Registry::setStringValue(*key, valueName, text);
    Registry::closeKey(*key);
    return written;
}

bool DeleteRegistryKey(Registry::Root root, const QString &keyPath)
{
    std::optional<Registry::Key> opened = Registry::openKey(root, QString());
    if (!opened)
        return false;
    const bool deleted = Registry::deleteKey(*opened, keyPath);
    Registry::closeKey(*opened);
    return deleted;
}

bool AddExtensionEntries()
{
    bool all = true;
    for (const auto &value : ExtensionValues()) {
        if (!WriteRegistryString(Registry::Root::LocalMachine, ExtensionKeyPath, value.first,
                                 value.second))
            all = false;
    }
    return all;
}

bool RemoveExtensionEntries()
{
    if (DeleteRegistryKey(Registry::Root::LocalMachine, ExtensionKeyPath))
        return true;
    // Nothing to remove is no failure: the program is not in the menu. A store
    // that cannot be read tells nothing, and that is a failure.
    const std::optional<bool> present =
        Registry::keyPresence(Registry::Root::LocalMachine, ExtensionKeyPath);
    return present.has_value() && !*present;
}

bool AddProgramToToolsMenu()
{
#ifdef Q_OS_WIN
    return AddExtensionEntries();
#else
    return DesktopEntry::install();
#endif
}

bool RemoveProgramFromToolsMenu()
{
#ifdef Q_OS_WIN
    return RemoveExtensionEntries();
#else
    return DesktopEntry::remove();
#endif
}

QString ToolsMenuFailureText(bool adding)
{
    const QString product = productName().isEmpty() ? QStringLiteral("the program") : productName();
#ifdef Q_OS_WIN
    if (adding)
        return QStringLiteral("Could not add %1 to the IE Tools Menu: the registry entries could "
                              "not be written.")
            .arg(product);
    return QStringLiteral("Could not remove %1 from the IE Tools Menu: the registry entries could "
                          "not be deleted.")
        .arg(product);
#else
    const QString entry = QDir::toNativeSeparators(DesktopEntry::filePath());
    if (adding)
        return QStringLiteral("Could not add %1 to the applications menu: the desktop entry %2 "
                              "could not be written.")
            .arg(product, entry);
    return QStringLiteral("Could not remove %1 from the applications menu: the desktop entry %2 "
                          "could not be deleted.")
        .arg(product, entry);
#endif
}

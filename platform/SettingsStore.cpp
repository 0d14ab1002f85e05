#include "platform/SettingsStore.h"

#include <QSettings>
#include <QVariant>

namespace {
QString keyOf(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}
} // namespace

QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    QSettings settings(application, application);
    return settings.value(keyOf(section, key), defaultValue).toString();
}

void SaveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value)
{
    QSettings settings(application, application);
    settings.setValue(keyOf(section, key), value);
    settings.sync();
}

QString Settings::showHelpText() const
{
    return GetSetting(m_product, QStringLiteral("Settings"), QStringLiteral("showHelp"),
                      QStringLiteral("1"));
}

void Settings::setShowHelp(int value)
{
    SaveSetting(m_product, QStringLiteral("Settings"), QStringLiteral("showHelp"),
                QString::number(value));
}

QByteArray Settings::windowGeometry() const
{
    QSettings window(m_product, QStringLiteral("window"));
    return window.value(QStringLiteral("MainWindow/geometry")).toByteArray();
}

void Settings::setWindowGeometry(const QByteArray &geometry)
{
    QSettings window(m_product, QStringLiteral("window"));
    window.setValue(QStringLiteral("MainWindow/geometry"), geometry);
    window.sync();
}

QByteArray Settings::windowValue(const QString &key) const
{
    QSettings window(m_product, QStringLiteral("window"));
    return window.value(key).toByteArray();
}

void Settings::setWindowValue(const QString &key, const QVariant &value)
{
    QSettings window(m_product, QStringLiteral("window"));
    window.setValue(key, value);
    window.sync();
}

QByteArray Settings::pageInfoGeometry() const
{
    return windowValue(QStringLiteral("PageInfo/geometry"));
}

void Settings::setPageInfoGeometry(const QByteArray &geometry)
{
    setWindowValue(QStringLiteral("PageInfo/geometry"), geometry);
}

QByteArray Settings::pageInfoColumns() const
{
    return windowValue(QStringLiteral("PageInfo/columns"));
}

void Settings::setPageInfoColumns(const QByteArray &state)
{
    setWindowValue(QStringLiteral("PageInfo/columns"), state);
}

QByteArray Settings::pageInfoDivider() const
{
    return windowValue(QStringLiteral("PageInfo/divider"));
}

void Settings::setPageInfoDivider(const QByteArray &state)
{
    setWindowValue(QStringLiteral("PageInfo/divider"), state);
}

bool Settings::pageInfoGrid() const
{
    return windowValue(QStringLiteral("PageInfo/grid")) == "true";
}

void Settings::setPageInfoGrid(bool grid)
{
    setWindowValue(QStringLiteral("PageInfo/grid"),
                   grid ? QStringLiteral("true") : QStringLiteral("false"));
}

QSize Settings::pageSourceSize() const
{
    const QList<QByteArray> parts = windowValue(QStringLiteral("PageSource/size")).split('x');
    bool wide = false;
    bool high = false;
    const QSize size =
        parts.size() == 2 ? QSize(parts[0].toInt(&wide), parts[1].toInt(&high)) : QSize();
    return wide && high && size.width() > 0 && size.height() > 0 ? size : QSize();
}

void Settings::setPageSourceSize(const QSize &size)
{
    setWindowValue(QStringLiteral("PageSource/size"),
                   QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
}

bool Settings::wrapLongLines() const
{
    return windowValue(QStringLiteral("SourceCode/wrap")) != "false";
}

void Settings::setWrapLongLines(bool wrap)
{
    setWindowValue(QStringLiteral("SourceCode/wrap"),
                   wrap ? QStringLiteral("true") : QStringLiteral("false"));
}

PictureSaving Settings::pictureSaving() const
{
    QSettings window(m_product, QStringLiteral("window"));
    const PictureSaving defaults;
    auto flag = [&window](const char *key, bool fallback) {
        const QVariant value = window.value(QStringLiteral("SavePictures/") + QLatin1String(key));
        return value.isValid() ? value.toString() == QLatin1String("true") : fallback;
    };
    PictureSaving saving;
    saving.zip = flag("zip", defaults.zip);
    saving.folder = window.value(QStringLiteral("SavePictures/folder")).toString();
    saving.pattern =
        window.value(QStringLiteral("SavePictures/pattern"), defaults.pattern).toString();
    if (saving.pattern.trimmed().isEmpty())
        saving.pattern = defaults.pattern;
    saving.keepFolders = flag("keepFolders", defaults.keepFolders);
    saving.largestVariant = flag("largestVariant", defaults.largestVariant);
    saving.fromPage = flag("fromPage", defaults.fromPage);
    saving.manifest = flag("manifest", defaults.manifest);
    return saving;
}

void Settings::setPictureSaving(const PictureSaving &saving)
{
    QSettings window(m_product, QStringLiteral("window"));
    auto flag = [&window](const char *key, bool value) {
        window.setValue(QStringLiteral("SavePictures/") + QLatin1String(key),
                        value ? QStringLiteral("true") : QStringLiteral("false"));
    };
    flag("zip", saving.zip);
    window.setValue(QStringLiteral("SavePictures/folder"), saving.folder);
    window.setValue(QStringLiteral("SavePictures/pattern"), saving.pattern);
    flag("keepFolders", saving.keepFolders);
    flag("largestVariant", saving.largestVariant);
    flag("fromPage", saving.fromPage);
    flag("manifest", saving.manifest);
    window.sync();
}

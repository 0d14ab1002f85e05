#include "platform/Registry.h"

#include <QStandardPaths>

#ifdef _WIN32
#include <windows.h>
#else
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTextStream>
#endif

namespace Registry {

QString rootName(Root root)
{
    switch (root) {
    case Root::ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case Root::CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case Root::LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case Root::Users:
        return QStringLiteral("HKEY_USERS");
    case Root::CurrentConfig:
        return QStringLiteral("HKEY_CURRENT_CONFIG");
    }
    return QString();
}

namespace {
QString &hiveFolderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString hiveFolder()
{
    if (!hiveFolderOverride().isEmpty())
        return hiveFolderOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quarrow/registry");
}

void setHiveFolder(const QString &folder)
{
    hiveFolderOverride() = folder;
}

#ifdef _WIN32

namespace {
HKEY rootHandle(Root root)
{
    switch (root) {
    case Root::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case Root::CurrentUser:
        return HKEY_CURRENT_USER;
    case Root::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case Root::Users:
        return HKEY_USERS;
    case Root::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    }
    return HKEY_LOCAL_MACHINE;
}

// The registry's A functions take text in the system's ANSI code page.
QByteArray ansi(const QString &text)
{
    return text.toLocal8Bit();
}
} // namespace

std::optional<Key> createKey(Root root, const QString &path)
{
    HKEY opened = nullptr;
    const LONG result =
        RegCreateKeyExA(rootHandle(root), ansi(path).constData(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    return Key{root, path, opened};
}

std::optional<Key> openKey(Root root, const QString &path)
{
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExA(rootHandle(root), ansi(path).constData(), 0, KEY_ALL_ACCESS, &opened);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    return Key{root, path, opened};
}

bool setStringValue(const Key &key, const QString &name, const QString &data)
{
    const QByteArray bytes = ansi(data);
    // The size counts the terminating null.
    const LONG result = RegSetValueExA(static_cast<HKEY>(key.handle), ansi(name).constData(), 0,
                                       REG_SZ, reinterpret_cast<const BYTE *>(bytes.constData()),
                                       static_cast<DWORD>(bytes.size() + 1));
    return result == ERROR_SUCCESS;
}

bool deleteKey(const Key &parent, const QString &subKey)
{
    return RegDeleteKeyA(static_cast<HKEY>(parent.handle), ansi(subKey).constData()) ==
           ERROR_SUCCESS;
}

void closeKey(Key &key)
{
    if (key.handle)
        RegCloseKey(static_cast<HKEY>(key.handle));
    key.handle = nullptr;
}

bool keyExists(Root root, const QString &path)
{
    return keyPresence(root, path).value_or(false);
}

std::optional<bool> keyPresence(Root root, const QString &path)
{
    HKEY opened = nullptr;
    const LONG result =
        RegOpenKeyExA(rootHandle(root), ansi(path).constData(), 0, KEY_READ, &opened);
    if (result == ERROR_FILE_NOT_FOUND)
        return false;
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    RegCloseKey(opened);
    return true;
}

QList<QPair<QString, QString>> stringValues(Root root, const QString &path)
{
    QList<QPair<QString, QString>> values;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(rootHandle(root), ansi(path).constData(), 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameSize = sizeof(name);
        DWORD type = 0;
        DWORD dataSize = 0;
        if (RegEnumValueA(opened, index, name, &nameSize, nullptr, &type, nullptr, &dataSize) !=
            ERROR_SUCCESS)
            break;
        QByteArray data(static_cast<qsizetype>(dataSize) + 1, '\0');
        nameSize = sizeof(name);
        DWORD size = dataSize;
        if (RegEnumValueA(opened, index, name, &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE *>(data.data()), &size) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        values.append({QString::fromLocal8Bit(name, static_cast<qsizetype>(nameSize)),
                       QString::fromLocal8Bit(data.constData())});
    }
    RegCloseKey(opened);
    return values;
}

QStringList subKeys(Root root, const QString &path)
{
    QStringList names;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(rootHandle(root), ansi(path).constData(), 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof(name);
        if (RegEnumKeyExA(opened, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.append(QString::fromLocal8Bit(name, static_cast<qsizetype>(nameSize)));
    }
    RegCloseKey(opened);
    return names;
}

#else

namespace {

// One hive: its keys in the order they were created, each with its values in
// the order they were first written. The root itself is the key "".
struct HiveKey {
    QString path;
    QList<QPair<QString, QString>> values;
};

struct Hive {
    QList<HiveKey> keys;

    qsizetype indexOf(const QString &path) const
    {
        for (qsizetype i = 0; i < keys.size(); ++i) {
            if (keys[i].path.compare(path, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
};

const QString HiveHeader = QStringLiteral("Quarrow registry hive 1");

QString hivePath(Root root)
{
    return hiveFolder() + QLatin1Char('/') + rootName(root) + QStringLiteral(".hive");
}

// Key paths: parts separated by single backslashes, no part empty.
bool validPath(const QString &path)
{
    if (path.isEmpty())
        return true;
    const QStringList parts = path.split(QLatin1Char('\\'));
    for (const QString &part : parts) {
        if (part.isEmpty())
            return false;
        for (const QChar ch : part) {
            if (ch.unicode() < 0x20)
                return false;
        }
    }
    return true;
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            out += ch;
            break;
        }
    }
    out += QLatin1Char('"');
    return out;
}

// Reads one quoted text starting at `pos` (at its opening quote); moves `pos`
// past the closing quote. False when the text is not well formed.
bool unquote(const QString &line, qsizetype &pos, QString &text)
{
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"'))
        return false;
    ++pos;
    text.clear();
    while (pos < line.size()) {
        const QChar ch = line.at(pos++);
        if (ch == QLatin1Char('"'))
            return true;
        if (ch != QLatin1Char('\\')) {
            text += ch;
            continue;
        }
        if (pos >= line.size())
            return false;
        const QChar escaped = line.at(pos++);
        if (escaped == QLatin1Char('n'))
            text += QLatin1Char('\n');
        else if (escaped == QLatin1Char('r'))
            text += QLatin1Char('\r');
        else if (escaped == QLatin1Char('t'))
            text += QLatin1Char('\t');
        else
            text += escaped;
    }
    return false;
}

// Loads the root's hive. A missing file is an empty hive; a file that cannot
// be read or is not a hive fails, so that it is never overwritten.
bool loadHive(Root root, Hive &hive)
{
    hive.keys = {HiveKey{QString(), {}}};
    QFile file(hivePath(root));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    if (in.readLine() != HiveHeader)
        return false;
    qsizetype current = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString path = line.mid(1, line.size() - 2);
            if (!validPath(path))
                return false;
            current = hive.indexOf(path);
            if (current < 0) {
                hive.keys.append(HiveKey{path, {}});
                current = hive.keys.size() - 1;
            }
            continue;
        }
        qsizetype pos = 0;
        QString name;
        QString data;
        if (!unquote(line, pos, name) || pos >= line.size() || line.at(pos) != QLatin1Char('='))
            return false;
        ++pos;
        if (!unquote(line, pos, data) || pos != line.size())
            return false;
        hive.keys[current].values.append({name, data});
    }
    return in.status() == QTextStream::Ok;
}

bool saveHive(Root root, const Hive &hive)
{
    if (!QDir().mkpath(hiveFolder()))
        return false;
    QString text = HiveHeader + QStringLiteral("\n; ") + rootName(root) + QLatin1Char('\n');
    for (const HiveKey &key : hive.keys) {
        if (!key.path.isEmpty())
            text += QStringLiteral("\n[") + key.path + QStringLiteral("]\n");
        else if (key.values.isEmpty())
            continue;
        for (const auto &value : key.values)
            text +=
                quoted(value.first) + QLatin1Char('=') + quoted(value.second) + QLatin1Char('\n');
    }
    QSaveFile file(hivePath(root));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

// Opening a key for all access needs a hive that can be written.
bool writable(Root root)
{
    const QString folder = hiveFolder();
    if (!QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.probe-XXXXXX"));
    if (!probe.open())
        return false;
    const QFileInfo existing(hivePath(root));
    return !existing.exists() || existing.isWritable();
}

QString joined(const QString &parent, const QString &child)
{
    if (parent.isEmpty())
        return child;
    if (child.isEmpty())
        return parent;
    return parent + QLatin1Char('\\') + child;
}

} // namespace

std::optional<Key> createKey(Root root, const QString &path)
{
    if (!validPath(path) || !writable(root))
        return std::nullopt;
    Hive hive;
    if (!loadHive(root, hive))
        return std::nullopt;
    bool added = false;
    QString prefix;
    const QStringList parts = path.isEmpty() ? QStringList() : path.split(QLatin1Char('\\'));
    for (const QString &part : parts) {
        prefix = joined(prefix, part);
        if (hive.indexOf(prefix) < 0) {
            hive.keys.append(HiveKey{prefix, {}});
            added = true;
        }
    }
    if (added && !saveHive(root, hive))
        return std::nullopt;
    // The key keeps the letter case it was created with.
    const qsizetype index = hive.indexOf(path);
    return Key{root, index >= 0 ? hive.keys[index].path : path, nullptr};
}

std::optional<Key> openKey(Root root, const QString &path)
{
    if (!validPath(path) || !writable(root))
        return std::nullopt;
    Hive hive;
    if (!loadHive(root, hive))
        return std::nullopt;
    const qsizetype index = hive.indexOf(path);
    if (index < 0)
        return std::nullopt;
    return Key{root, hive.keys[index].path, nullptr};
}

bool setStringValue(const Key &key, const QString &name, const QString &data)
{
    Hive hive;
    if (!loadHive(key.root, hive))
        return false;
    const qsizetype index = hive.indexOf(key.path);
    if (index < 0)
        return false; // deleted since it was opened
    auto &values = hive.keys[index].values;
    bool replaced = false;
    for (auto &value : values) {
        if (value.first.compare(name, Qt::CaseInsensitive) == 0) {
            value.second = data;
            replaced = true;
            break;
        }
    }
    if (!replaced)
        values.append({name, data});
    return saveHive(key.root, hive);
}

bool deleteKey(const Key &parent, const QString &subKey)
{
    if (subKey.isEmpty() || !validPath(subKey))
        return false;
    Hive hive;
    if (!loadHive(parent.root, hive))
        return false;
    const QString path = joined(parent.path, subKey);
    const qsizetype index = hive.indexOf(path);
    if (index <= 0)
        return false;
    const QString childPrefix = path + QLatin1Char('\\');
    for (const HiveKey &key : std::as_const(hive.keys)) {
        if (key.path.startsWith(childPrefix, Qt::CaseInsensitive))
            return false; // a key with subkeys stays
    }
    hive.keys.removeAt(index);
    return saveHive(parent.root, hive);
}

void closeKey(Key &key)
{
    key.handle = nullptr;
}

bool keyExists(Root root, const QString &path)
{
    return keyPresence(root, path).value_or(false);
}

std::optional<bool> keyPresence(Root root, const QString &path)
{
    if (!validPath(path))
        return false;
    Hive hive;
    if (!loadHive(root, hive))
        return std::nullopt;
    return hive.indexOf(path) >= 0;
}

QList<QPair<QString, QString>> stringValues(Root root, const QString &path)
{
    Hive hive;
    if (!loadHive(root, hive))
        return {};
    const qsizetype index = hive.indexOf(path);
    return index >= 0 ? hive.keys[index].values : QList<QPair<QString, QString>>();
}

QStringList subKeys(Root root, const QString &path)
{
    QStringList names;
    Hive hive;
    if (!loadHive(root, hive))
        return names;
    const QString prefix = path.isEmpty() ? QString() : path + QLatin1Char('\\');
    for (const HiveKey &key : std::as_const(hive.keys)) {
        if (key.path.isEmpty() || !key.path.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString rest = key.path.mid(prefix.size());
        if (!rest.contains(QLatin1Char('\\')))
            names.append(rest);
    }
    return names;
}

#endif

} // namespace Registry

#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

// The system registry: keys below a few fixed roots, each key holding named
// string values. On Windows these are the Win32 registry calls. Elsewhere
// every root is a hive file in the per-user configuration folder
// (<config>/Quarrow/registry/<ROOT>.hive), read and written whole on each
// call, so that the same keys and values can be created, read back and
// deleted. A hive folder that cannot be written makes every call that needs
// write access fail.
namespace Registry {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_LOCAL_MACHINE" and so on.
QString rootName(Root root);

// An opened key. Key paths separate their parts with backslashes.
struct Key {
    Root root = Root::LocalMachine;
    QString path;           // the key's path below its root; empty for the root itself
    void *handle = nullptr; // Windows: the key's HKEY
};

// Opens a key for all access, creating it and any missing parents
// (RegCreateKeyEx). A path with an empty part, such as one that starts or
// ends with a backslash, fails.
std::optional<Key> createKey(Root root, const QString &path);
// Opens an existing key, or the root itself for an empty path, for all
// access (RegOpenKeyEx).
std::optional<Key> openKey(Root root, const QString &path);
// Writes one string value (RegSetValueEx, REG_SZ); an existing value of that
// name is replaced where it stands.
bool setStringValue(const Key &key, const QString &name, const QString &data);
// Deletes a subkey of an opened key with all its values (RegDeleteKey). A
// key that has subkeys of its own, or does not exist, is not deleted.
bool deleteKey(const Key &parent, const QString &subKey);
void closeKey(Key &key);

// Reading back, without write access.
bool keyExists(Root root, const QString &path);
// Whether the key is there: empty when the store could not be read, so that
// "not there" is never guessed from a failure.
std::optional<bool> keyPresence(Root root, const QString &path);
// The key's string values in the order they were first written.
QList<QPair<QString, QString>> stringValues(Root root, const QString &path);
// The names of a key's direct subkeys.
QStringList subKeys(Root root, const QString &path);

// The folder of the hive files (off Windows). Tests point it elsewhere; an
// empty folder restores the per-user configuration folder.
QString hiveFolder();
void setHiveFolder(const QString &folder);

} // namespace Registry

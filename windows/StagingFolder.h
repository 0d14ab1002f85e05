#pragma once

#include <QString>

#include <memory>

// A private folder for the parts of one save, made fresh inside the folder the
// user chose, so that the pictures and the ZIP file come into being there by a
// rename and nothing half made ever shows under a name of the user's: a hidden
// ".quarrow-XXXXXXXXXXXXXXXX.saving", readable by the user alone, locked for
// as long as the object lives and removed with everything in it when it goes.
//
// A save that ended without cleaning up (the program was killed) leaves its
// folder behind; removeLeftovers() takes away those that no running save holds.
class StagingFolder {
public:
    ~StagingFolder();
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    // A new staging folder in `folder`; null and *error when it cannot be made.
    static std::unique_ptr<StagingFolder> make(const QString &folder, QString *error);
    // Removes the staging folders in `folder` that no save holds; how many.
    static int removeLeftovers(const QString &folder);
    // True for a name that a staging folder has.
    static bool isStagingName(const QString &name);

    QString path() const { return m_path; }

private:
    StagingFolder(const QString &path, int lock) : m_path(path), m_lock(lock) {}
    QString m_path;
    int m_lock = -1;
};

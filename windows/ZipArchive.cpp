#include "windows/ZipArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QStringList>

#include <ctime>
#include <zip.h>

namespace {

// Pictures whose bytes are compressed already: deflating them again costs
// time and gains nothing.
bool compressedAlready(const QString &name)
{
    static const QStringList stored = {"jpg", "jpeg", "jpe",  "jfif", "png",  "apng",
                                       "gif", "webp", "avif", "jxl",  "heic", "zip"};
    return stored.contains(QFileInfo(name).suffix().toLower());
}

QString zipError(zip_t *archive)
{
    return QString::fromLocal8Bit(zip_error_strerror(zip_get_error(archive)));
}

int askCancelled(zip_t *, void *state)
{
    const auto *cancelled = static_cast<const std::function<bool()> *>(state);
    return (*cancelled && (*cancelled)()) ? 1 : 0;
}

} // namespace

bool ZipArchive::write(const QString &path, const QString &folder, const QList<Entry> &entries,
                       const QList<QPair<QString, QByteArray>> &extras,
                       const std::function<bool()> &cancelled, QString *error)
{
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!archive) {
        zip_error_t why;
        zip_error_init_with_code(&why, code);
        *error = QString::fromLocal8Bit(zip_error_strerror(&why));
        zip_error_fini(&why);
        return false;
    }
    const time_t now = std::time(nullptr);
    auto add = [&](const QString &name, zip_source_t *source) {
        if (!source)
            return false;
        const zip_int64_t index =
            zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 compressedAlready(name) ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        zip_file_set_mtime(archive, zip_uint64_t(index), now, 0);
        return true;
    };
    bool ok = true;
    const QDir dir(folder);
    for (const Entry &entry : entries) {
        // Opened only when the archive is written, one at a time.
        ok = add(entry.name,
                 zip_source_file(archive, QFile::encodeName(dir.filePath(entry.file)).constData(),
                                 0, -1));
        if (!ok)
            break;
    }
    for (qsizetype i = 0; ok && i < extras.size(); ++i) {
        const QByteArray &bytes = extras.at(i).second;
        ok = add(extras.at(i).first,
                 zip_source_buffer(archive, bytes.constData(), zip_uint64_t(bytes.size()), 0));
    }
    if (!ok) {
        *error = zipError(archive);
        zip_discard(archive);
        return false;
    }
    zip_register_cancel_callback_with_state(archive, askCancelled, nullptr,
                                            const_cast<std::function<bool()> *>(&cancelled));
    if (zip_close(archive) != 0) {
        *error = zipError(archive);
        zip_discard(archive);
        QFile::remove(path);
        return false;
    }
    return true;
}

QStringList ZipArchive::names(const QString &path, QString *error)
{
    int code = 0;
    zip_t *archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive) {
        if (error)
            *error = QObject::tr("cannot read %1").arg(path);
        return {};
    }
    QStringList out;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        out.append(QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_GUESS)));
    zip_discard(archive);
    return out;
}

#include "tests/fuzz/HarvestTimeCheck.h"

#include "harvest/Harvest.h"
#include "harvest/Tags.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>

namespace harvestcheck {
namespace {

// A search passes over a byte once, and a ">" in a comment is looked at again with
// the three bytes before it.
constexpr qsizetype kMostWorkPerByte = 4;

// The large page may cost this many times the small one's time per byte: more than
// a busy machine's noise, far less than the sixteen times of a harvest whose time
// grows with the square of the page.
constexpr double kMostTimePerByteGrowth = 2.5;

// Below this the large page's harvest is too quick to judge: its time is mostly what
// any harvest costs.
constexpr double kShortestJudgedSeconds = 0.03;

// Rounds of measuring before a slow large page counts: one busy moment is not enough.
constexpr int kRounds = 3;

struct Input {
    QByteArray url;
    QByteArray piece;
};

Input split(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = bytes.indexOf('\n');
    if (newline < 0)
        return {bytes, QByteArray()};
    return {bytes.left(newline), bytes.mid(newline + 1)};
}

QByteArray repeated(const QByteArray &piece, qsizetype bytes)
{
    QByteArray page;
    page.reserve(bytes + piece.size());
    while (page.size() < bytes)
        page += piece;
    page.truncate(bytes);
    return page;
}

QString workProblem(const QByteArray &page)
{
    qsizetype examined = 0;
    harvest::FindTags(
        page, [](const harvest::Tag &) {}, &examined);
    if (examined <= kMostWorkPerByte * page.size() + 16)
        return {};
    return QStringLiteral("reading the tags of %1 bytes passed over %2 bytes")
        .arg(page.size())
        .arg(examined);
}

QString scratchBase()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return (shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath()) +
           QStringLiteral("/quarrow-time-fuzz-XXXXXX");
}

// The shortest of two harvests of the page, in seconds.
double harvestSeconds(const QByteArray &page, const QString &url)
{
    static QTemporaryDir folder(scratchBase());
    const WorkingFiles files(folder.path());
    double best = 0;
    for (int run = 0; run < 2; ++run) {
        harvest::Utf8Lists lists;
        const auto start = std::chrono::steady_clock::now();
        RunHarvestBytes(page, url, files, lists);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = run == 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

} // namespace

QString CheckHarvestWork(const uint8_t *data, size_t size)
{
    const Input input = split(data, size);
    if (input.piece.isEmpty())
        return {};
    for (const qsizetype bytes : {kSmallPage, kLargePage}) {
        const QString problem = workProblem(repeated(input.piece, bytes));
        if (!problem.isEmpty())
            return problem;
    }
    return {};
}

QString CheckHarvestTime(const uint8_t *data, size_t size)
{
    const QString problem = CheckHarvestWork(data, size);
    if (!problem.isEmpty())
        return problem;
    const Input input = split(data, size);
    if (input.piece.isEmpty())
        return {};
    const QString url = QString::fromUtf8(input.url);
    const QByteArray small = repeated(input.piece, kSmallPage);
    const QByteArray large = repeated(input.piece, kLargePage);
    double smallPerByte = 0;
    double largePerByte = 0;
    for (int round = 0; round < kRounds; ++round) {
        const double largeSeconds = harvestSeconds(large, url);
        if (largeSeconds < kShortestJudgedSeconds)
            return {};
        smallPerByte = harvestSeconds(small, url) / double(small.size());
        largePerByte = largeSeconds / double(large.size());
        if (largePerByte <= kMostTimePerByteGrowth * smallPerByte)
            return {};
    }
    return QStringLiteral("the harvest of %1 bytes took %2 ns a byte, of %3 bytes %4 ns a byte")
        .arg(small.size())
        .arg(smallPerByte * 1e9, 0, 'f', 2)
        .arg(large.size())
        .arg(largePerByte * 1e9, 0, 'f', 2);
}

} // namespace harvestcheck

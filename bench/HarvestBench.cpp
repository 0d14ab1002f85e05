// The whole harvest (files included) on generated pages of 100 KB, 1 MB and 10 MB:
// text in lines of realistic length, one image tag and one link to a picture per KB,
// half of them repeating a name seen before. Reports MB/s and the peak memory the
// harvest needed on top of what the process held before it (VmHWM after resetting
// it through /proc/self/clear_refs), also as a multiple of the page size.
//
// The working files go to QUARROW_BENCH_DIR when set, else to the system's temporary
// folder.

#include "harvest/Harvest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char *const kWords[] = {"the",     "harvest", "shows", "every", "image",  "of",
                              "a",       "page",    "with",  "its",   "source", "and",
                              "address", "under",   "it",    "while", "links",  "lead",
                              "to",      "picture", "files", "from",  "old",    "web"};

QString makePage(qsizetype bytes)
{
    QString page;
    page.reserve(bytes + 1024);
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int block = 0;
    while (page.size() < bytes) {
        const qsizetype blockEnd = page.size() + 1024;
        // Half of the references repeat an earlier name.
        const int name = (block % 2 == 0 || block < 2) ? block : int(next() % quint32(block));
        page +=
            QStringLiteral("<div class=\"photo\"><img src=\"images/%1/pic%2.jpg\" alt=\"Picture "
                           "%2\" width=\"320\" height=\"240\"></div>\r\n")
                .arg(name % 50)
                .arg(name);
        while (page.size() < blockEnd - 160) {
            QString line = QStringLiteral("<p>");
            const int words = 8 + int(next() % 12);
            for (int w = 0; w < words; ++w) {
                line += QLatin1String(kWords[next() % std::size(kWords)]);
                line += (next() % 17 == 0) ? QStringLiteral(" &amp; ") : QStringLiteral(" ");
            }
            line += QStringLiteral("</p>\r\n");
            page += line;
        }
        page += QStringLiteral("<li><a href=\"https://cdn.example.com/full/%1/photo%2.gif\">Full "
                               "size %2</a></li>\r\n")
                    .arg(name % 50)
                    .arg(name);
        ++block;
    }
    return page;
}

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray all = status.readAll();
    const qsizetype at = all.indexOf(field);
    if (at < 0)
        return 0;
    return all.mid(at + qstrlen(field)).trimmed().split(' ').first().toLongLong();
}

// The peak memory one harvest needs on top of what the process holds, in KB,
// measured in a child process so that the timed runs keep the usual allocator.
qint64 measurePeakKb(const QString &page, const WorkingFiles &files)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        // Large blocks come from and go back to the system at once, so that the
        // resident size follows what the harvest holds.
        mallopt(M_MMAP_THRESHOLD, 256 * 1024);
        malloc_trim(0);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly)) {
            clear.write("5");
            clear.close();
        }
        const qint64 before = statusKb("VmRSS:");
        ResultLists lists;
        RunHarvest(page, QStringLiteral("https://www.example.com/gallery/index.html"), files,
                   lists);
        const qint64 extra = statusKb("VmHWM:") - before;
        const ssize_t written = write(fds[1], &extra, sizeof extra);
        _exit(written == sizeof extra ? 0 : 1);
    }
    close(fds[1]);
    qint64 extra = -1;
    if (read(fds[0], &extra, sizeof extra) != sizeof extra)
        extra = -1;
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return extra;
}

void BM_Harvest(benchmark::State &state)
{
    const qsizetype bytes = state.range(0);
    const QString page = makePage(bytes);
    const QString base = qEnvironmentVariable("QUARROW_BENCH_DIR", QDir::tempPath());
    QTemporaryDir dir(base + QStringLiteral("/quarrow-bench-XXXXXX"));
    const WorkingFiles files(dir.path());
    ResultLists lists;
    const QString url = QStringLiteral("https://www.example.com/gallery/index.html");
    const qint64 peakKb = measurePeakKb(page, files);
    RunHarvest(page, url, files, lists); // warm up
    for (auto _ : state) {
        RunHarvest(page, url, files, lists);
        benchmark::DoNotOptimize(lists);
    }
    const double pageMb = double(page.toUtf8().size()) / (1024.0 * 1024.0);
    state.SetBytesProcessed(qint64(state.iterations()) * qint64(page.toUtf8().size()));
    state.counters["page_MB"] = pageMb;
    state.counters["peak_extra_MB"] = double(peakKb) / 1024.0;
    state.counters["peak_x_page"] = double(peakKb) / 1024.0 / pageMb;
    state.counters["images"] = double(lists.Links[1].size());
    state.counters["links"] = double(lists.Links[0].size());
}

BENCHMARK(BM_Harvest)
    ->Arg(100 * 1024)
    ->Arg(1024 * 1024)
    ->Arg(10 * 1024 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();

// BM_Harvest: the whole harvest (files included) in this process, on generated
// pages of 100 KB, 1 MB and 10 MB: text in lines of realistic length, one image tag
// and one link to a picture per KB, half of them repeating a name seen before.
// Reports MB/s and the peak memory the harvest needed on top of what the process
// held before it (VmHWM after resetting it through /proc/self/clear_refs), also as
// a multiple of the page size.
//
// BM_HarvestTool: the whole quarrow-harvest process, started cold for every run, on
// dense pages of 10 MB and 50 MB (an image tag and a link to a picture every 250
// bytes, half of the names repeating an earlier one). Each run is one repetition;
// reported are the wall time of the process (min, median and mean of the runs),
// MB/s and the child's peak resident memory (ru_maxrss from wait4), also as a
// multiple of the page size.
//
// BM_SourceView: the Source Code view's page (WriteSourceView) of the dense page of
// 1 MB and 5 MB, its names recorded by the scans, into memory; BM_SourcePage:
// source.htm of the same pages (WriteSourcePage), for comparison.
//
// The working files go to QUARROW_BENCH_DIR when set, else to the system's temporary
// folder.

#include "bench/BenchSupport.h"
#include "bench/ToolRun.h"
#include "harvest/Harvest.h"
#include "harvest/SourceView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

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
    const QString base = benchFolder();
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

// A dense page: an image tag and a link to a picture every 250 bytes, in lines of
// 60 to 100 characters, half of the names repeating an earlier one.
QByteArray makeDensePage(qsizetype bytes)
{
    QByteArray page;
    page.reserve(bytes + 1024);
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int block = 0;
    while (page.size() < bytes) {
        const qsizetype blockEnd = page.size() + 250;
        const int name = (block % 2 == 0 || block < 2) ? block : int(next() % quint32(block));
        page += "<img src=\"images/" + QByteArray::number(name % 50) + "/pic" +
                QByteArray::number(name) + ".jpg\" alt=\"\">";
        while (page.size() < blockEnd - 70) {
            QByteArray line = "<p>";
            const int words = 8 + int(next() % 8);
            for (int w = 0; w < words; ++w) {
                line += kWords[next() % std::size(kWords)];
                line += ' ';
            }
            line += "</p>\r\n";
            page += line;
        }
        page += "<a href=\"https://cdn.example.com/full/" + QByteArray::number(name % 50) +
                "/photo" + QByteArray::number(name) + ".gif\">Full size</a>\r\n";
        ++block;
    }
    return page;
}

// Runs quarrow-harvest once, cold, with its standard output and error thrown away.
ToolRun runTool(const QByteArray &out, const QByteArray &input)
{
    return runHarvestTool(QUARROW_HARVEST_TOOL, "https://www.example.com/gallery/index.html", out,
                          input);
}

void BM_HarvestTool(benchmark::State &state)
{
    const qsizetype bytes = state.range(0);
    // One page per size, made once for all the runs.
    const QString input = benchPageFile(bytes, makeDensePage);
    if (input.isEmpty()) {
        state.SkipWithError("cannot write the page");
        return;
    }
    const QString base = benchFolder();
    const double pageMb = double(QFileInfo(input).size()) / (1024.0 * 1024.0);
    long peakKb = 0;
    double seconds = 0;
    for (auto _ : state) {
        QTemporaryDir out(base + QStringLiteral("/quarrow-bench-out-XXXXXX"));
        const ToolRun run = runTool(QFile::encodeName(out.path()), QFile::encodeName(input));
        if (!run.ok) {
            state.SkipWithError("quarrow-harvest failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        peakKb = std::max(peakKb, run.maxRssKb);
        seconds = run.seconds;
    }
    state.counters["page_MB"] = pageMb;
    state.counters["MB_per_s"] = pageMb / seconds;
    state.counters["peak_RSS_MB"] = double(peakKb) / 1024.0;
    state.counters["peak_x_page"] = double(peakKb) / 1024.0 / pageMb;
}

// The dense page of this size and the lists its scans record.
struct ScannedPage {
    QByteArray text;
    harvest::Utf8Lists lists;
};

ScannedPage scannedPage(qsizetype bytes)
{
    ScannedPage page{makeDensePage(bytes), {}};
    harvest::ScanBudget budget;
    harvest::ScanPage(page.text, QStringLiteral("https://www.example.com/gallery/index.html"),
                      QString(), page.lists, budget);
    return page;
}

template <class Write> void benchPageMaker(benchmark::State &state, Write &&write)
{
    const ScannedPage page = scannedPage(state.range(0));
    QByteArray out;
    for (auto _ : state) {
        out.resize(0);
        harvest::ByteArraySink sink(out);
        write(page, sink);
        sink.flush();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * page.text.size());
    state.counters["page_MB"] = double(page.text.size()) / (1024.0 * 1024.0);
    state.counters["out_x_page"] = double(out.size()) / double(page.text.size());
}

void BM_SourceView(benchmark::State &state)
{
    benchPageMaker(state, [](const ScannedPage &page, harvest::ByteSink &sink) {
        harvest::WriteSourceView(page.text, page.lists, sink);
    });
}

void BM_SourcePage(benchmark::State &state)
{
    benchPageMaker(state, [](const ScannedPage &page, harvest::ByteSink &sink) {
        harvest::WriteSourcePage(page.text, page.lists, sink);
    });
}

BENCHMARK(BM_SourceView)->Arg(1024 * 1024)->Arg(5 * 1024 * 1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SourcePage)->Arg(1024 * 1024)->Arg(5 * 1024 * 1024)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_HarvestTool)
    ->Arg(10 * 1024 * 1024)
    ->Arg(50 * 1024 * 1024)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->ComputeStatistics("min", benchsupport::smallest)
    ->Unit(benchmark::kMillisecond);

// After the runs of the tool: a child started from a process that holds much
// memory is charged that memory until it has started.
BENCHMARK(BM_Harvest)
    ->Arg(100 * 1024)
    ->Arg(1024 * 1024)
    ->Arg(10 * 1024 * 1024)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();

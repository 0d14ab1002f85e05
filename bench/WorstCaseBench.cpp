// Hostile pages run through the command-line harvest, each run a cold process:
//
//   ManyAnchors   one image whose address is about 2 KB long and whose file name is
//                 the single letter "x", in a page that is otherwise nothing but
//                 lines of "x": every letter of the text becomes an anchor that
//                 carries the whole address.
//   DeepFolders   a page address thousands of folders deep (--url http://h/d/d/.../p.html)
//                 and images whose values climb back up with as many "../".
//   LongName      one image whose file name fills the page (megabytes of one name).
//   DensePage     an ordinary but dense page for comparison: realistic lines with an
//                 image tag and a link to a picture every 250 bytes, half of the
//                 names repeating an earlier one.
//   DenseComments the same page with a comment before every paragraph.
//
// Pages that defeat a tag reading which, for each opening, searches the rest of the
// page for what would close it: each is one line again and again.
//
//   Comments      "<!-- c --><img src=a.jpg>": no comment ends in "--!>".
//   Scripts       "<script><img src=a.jpg>" and near misses of its end tag, never
//                 closed: after the first, all is the script's text.
//   Textareas     the same with <textarea>.
//   Quotes        tags whose quotes (single and double) close only in the next line.
//   Fragments     "<!", "</", "<!-", "</3" and "<?" that open no tag, each read up to
//                 the next ">".
//
// Every run writes into a fresh folder. Reported per case: the wall time of the
// whole process (the manual time), the child's peak resident memory (ru_maxrss from
// wait4), the bytes written into the output folder (the six files added up), the
// page size N, both as multiples of N, and the bounds the harvest has to keep for
// a page of N bytes: memory at most 8 N + 32 MB, output at most 8 N + 1 MB.
// within_bounds is 1 when both hold, else 0.
//
// QUARROW_WORST_SIZES (sizes in KB, comma separated, e.g. "50,200,1024") replaces
// every case's own sizes; the working folders go to QUARROW_BENCH_DIR when set,
// else to the system's temporary folder. QUARROW_WORST_REPETITIONS replaces every
// case's number of runs. QUARROW_HARVEST_TOOL runs another build of quarrow-harvest
// instead of this one's, to compare the two.

#include "bench/BenchSupport.h"
#include "bench/ToolRun.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr double kMb = 1024.0 * 1024.0;

// What one case feeds the tool: the page text and the page address.
struct Page {
    QByteArray text;
    QByteArray url;
};

// A small deterministic generator, so that every run sees the same page.
struct Lcg {
    quint32 seed = 12345;
    quint32 next()
    {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }
};

Page manyAnchors(qsizetype bytes)
{
    Page page;
    page.url = "http://host.example/index.html";
    QByteArray folder;
    while (folder.size() < 2000)
        folder += "abcdefghijklmnopqrstuvw/";
    page.text = "<img src=\"http://host.example/" + folder + "x\">\r\n";
    // Lines of 78 letters: every one of them is the image's name.
    const QByteArray line = QByteArray(78, 'x') + "\r\n";
    while (page.text.size() + line.size() <= bytes)
        page.text += line;
    page.text += QByteArray(std::max<qsizetype>(0, bytes - page.text.size()), 'x');
    return page;
}

Page deepFolders(qsizetype bytes)
{
    // Each image climbs the whole depth; two images fill the page. The address
    // stays below the kernel's limit for one argument (128 KB).
    const qsizetype depth = std::clamp<qsizetype>(bytes / 6, 1, 60000);
    Page page;
    page.url = "http://h/";
    page.url.reserve(9 + depth * 2 + 6);
    for (qsizetype i = 0; i < depth; ++i)
        page.url += "d/";
    page.url += "p.html";
    QByteArray ups;
    ups.reserve(depth * 3);
    for (qsizetype i = 0; i < depth; ++i)
        ups += "../";
    int n = 0;
    while (page.text.size() < bytes) {
        page.text += "<img src=\"" + ups + "i" + QByteArray::number(n++) + ".gif\">\r\n";
    }
    return page;
}

Page longName(qsizetype bytes)
{
    Page page;
    page.url = "http://host.example/index.html";
    const QByteArray head = "<img src=\"http://host.example/pictures/";
    const QByteArray tail = ".gif\">\r\n";
    page.text =
        head + QByteArray(std::max<qsizetype>(1, bytes - head.size() - tail.size()), 'n') + tail;
    return page;
}

const char *const kWords[] = {"the",     "harvest", "shows", "every", "image",  "of",
                              "a",       "page",    "with",  "its",   "source", "and",
                              "address", "under",   "it",    "while", "links",  "lead",
                              "to",      "picture", "files", "from",  "old",    "web"};

Page densePage(qsizetype bytes)
{
    Page page;
    page.url = "https://www.example.com/gallery/index.html";
    page.text.reserve(bytes + 1024);
    Lcg random;
    int block = 0;
    while (page.text.size() < bytes) {
        const qsizetype blockEnd = page.text.size() + 250;
        // Half of the references repeat an earlier name.
        const int name =
            (block % 2 == 0 || block < 2) ? block : int(random.next() % quint32(block));
        page.text += "<img src=\"images/" + QByteArray::number(name % 50) + "/pic" +
                     QByteArray::number(name) + ".jpg\" alt=\"\">";
        // Text in lines of 60 to 100 characters.
        while (page.text.size() < blockEnd - 70) {
            QByteArray line = "<p>";
            const int words = 8 + int(random.next() % 8);
            for (int w = 0; w < words; ++w) {
                line += kWords[random.next() % std::size(kWords)];
                line += ' ';
            }
            line += "</p>\r\n";
            page.text += line;
        }
        page.text += "<a href=\"https://cdn.example.com/full/" + QByteArray::number(name % 50) +
                     "/photo" + QByteArray::number(name) + ".gif\">Full size</a>\r\n";
        ++block;
    }
    return page;
}

// A dense page with a comment before every paragraph, as pages that a tool or an
// editor annotates have.
Page denseComments(qsizetype bytes)
{
    Page page = densePage(bytes);
    page.text.replace("<p>", "<!-- paragraph --><p>");
    return page;
}

// A page of one line again and again, up to the size.
Page repeatedLine(const QByteArray &line, qsizetype bytes)
{
    Page page;
    page.url = "http://host.example/index.html";
    page.text.reserve(bytes + line.size());
    while (page.text.size() < bytes)
        page.text += line;
    page.text.truncate(bytes);
    return page;
}

Page comments(qsizetype bytes)
{
    return repeatedLine("<!-- c --><img src=a.jpg>\r\n", bytes);
}

Page scripts(qsizetype bytes)
{
    return repeatedLine("<script><img src=a.jpg></scrip></scripts>\r\n", bytes);
}

Page textareas(qsizetype bytes)
{
    return repeatedLine("<textarea><img src=a.jpg></textare>\r\n", bytes);
}

Page quotes(qsizetype bytes)
{
    return repeatedLine("<img alt='x src=\"a.jpg><a title=\"t href='b.jpg>\r\n", bytes);
}

Page fragments(qsizetype bytes)
{
    return repeatedLine("<! x </ y <!- z </3 > <!x> </ > <? x> <img src=a.jpg>\r\n", bytes);
}

struct Case {
    const char *name;
    std::function<Page(qsizetype)> make;
    std::vector<qsizetype> sizesKb; // the sizes that stay within a minute today
    int repetitions;
};

QString workBase()
{
    return qEnvironmentVariable("QUARROW_BENCH_DIR", QDir::tempPath());
}

qint64 folderBytes(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

using ChildRun = ToolRun;

// Runs the tool once, cold, with its standard output and error thrown away.
ChildRun runTool(const QByteArray &url, const QByteArray &out, const QByteArray &input)
{
    static const QByteArray tool = qEnvironmentVariableIsSet("QUARROW_HARVEST_TOOL")
                                       ? qgetenv("QUARROW_HARVEST_TOOL")
                                       : QByteArray(QUARROW_HARVEST_TOOL);
    return runHarvestTool(tool, url, out, input);
}

void runCase(benchmark::State &state, const Case &kase)
{
    const qsizetype bytes = state.range(0);
    // The page is made once per case and size, not once per repetition.
    static QHash<QString, std::shared_ptr<QTemporaryDir>> pages;
    static QHash<QString, QByteArray> urls;
    const QString key = QString::fromLatin1(kase.name) + u'/' + QString::number(bytes);
    if (!pages.contains(key)) {
        auto dir =
            std::make_shared<QTemporaryDir>(workBase() + QStringLiteral("/quarrow-worst-XXXXXX"));
        const Page page = kase.make(bytes);
        QFile file(dir->filePath(QStringLiteral("page.html")));
        if (!dir->isValid() || !file.open(QIODevice::WriteOnly) ||
            file.write(page.text) != page.text.size()) {
            state.SkipWithError("cannot write the page");
            return;
        }
        pages.insert(key, dir);
        urls.insert(key, page.url);
    }
    const QString input = pages.value(key)->filePath(QStringLiteral("page.html"));
    const QByteArray url = urls.value(key);
    const qint64 pageBytes = QFileInfo(input).size();

    long peakKb = 0;
    qint64 outBytes = 0;
    double lastSeconds = 0;
    for (auto _ : state) {
        QTemporaryDir out(workBase() + QStringLiteral("/quarrow-worst-out-XXXXXX"));
        const ChildRun run = runTool(url, QFile::encodeName(out.path()), QFile::encodeName(input));
        if (!run.ok) {
            state.SkipWithError("quarrow-harvest failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        lastSeconds = run.seconds;
        peakKb = std::max(peakKb, run.maxRssKb);
        outBytes = std::max(outBytes, folderBytes(out.path()));
    }

    const double pageMb = double(pageBytes) / kMb;
    const double peakMb = double(peakKb) / 1024.0;
    const double outMb = double(outBytes) / kMb;
    const double memBoundMb = 8.0 * pageMb + 32.0;
    const double outBoundMb = 8.0 * pageMb + 1.0;
    state.counters["page_MB"] = pageMb;
    state.counters["peak_MB"] = peakMb;
    state.counters["out_MB"] = outMb;
    state.counters["mem_per_N"] = peakMb / pageMb;
    state.counters["out_per_N"] = outMb / pageMb;
    state.counters["mem_bound_MB"] = memBoundMb;
    state.counters["out_bound_MB"] = outBoundMb;
    state.counters["within_bounds"] = (peakMb <= memBoundMb && outMb <= outBoundMb) ? 1 : 0;
    // The time of the run for each MB of page: the same at every size when the
    // harvest is linear.
    state.counters["ms_per_MB"] = 1000.0 * lastSeconds / pageMb;
}

std::vector<qsizetype> sizesFromEnvironment()
{
    std::vector<qsizetype> sizes;
    const QString text = qEnvironmentVariable("QUARROW_WORST_SIZES");
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qsizetype kb = part.trimmed().toLongLong(&ok);
        if (ok && kb > 0)
            sizes.push_back(kb);
    }
    return sizes;
}

} // namespace

int main(int argc, char **argv)
{
    // Sizes where one run of the harvest as it stands still ends within half a minute.
    static const Case cases[] = {
        {"ManyAnchors", manyAnchors, {50, 200, 1024}, 3},
        {"DeepFolders", deepFolders, {50, 100, 200}, 3},
        {"LongName", longName, {1024, 4096}, 3},
        {"DensePage", densePage, {1024, 10240}, 5},
        {"DenseComments", denseComments, {10240, 51200}, 5},
        {"Comments", comments, {100, 400, 1600, 10240, 51200}, 5},
        {"Scripts", scripts, {10240, 51200}, 5},
        {"Textareas", textareas, {10240, 51200}, 5},
        {"Quotes", quotes, {10240, 51200}, 5},
        {"Fragments", fragments, {10240, 51200}, 5},
    };
    const std::vector<qsizetype> chosen = sizesFromEnvironment();
    const int repetitions = qEnvironmentVariableIntValue("QUARROW_WORST_REPETITIONS");
    for (const Case &kase : cases) {
        auto *bench = benchmark::RegisterBenchmark(
            (std::string("BM_WorstCase/") + kase.name).c_str(),
            [&kase](benchmark::State &state) { runCase(state, kase); });
        for (const qsizetype kb : chosen.empty() ? kase.sizesKb : chosen)
            bench->Arg(kb * 1024);
        bench->UseManualTime()
            ->Iterations(1)
            ->Repetitions(repetitions > 0 ? repetitions : kase.repetitions)
            ->ComputeStatistics("min", benchsupport::smallest)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// inventory_bench: the page inventory collector on a page of 20,000 elements
// that uses 5,000 pictures (img with srcset, inline and class backgrounds, lazy
// attributes), loaded once into an offscreen page. Each run is one collect call:
// the script in the engine, its answer and the reading of it. The page load is
// not measured. BM_InventoryTool runs the whole quarrow-inventory process, started
// cold, on saved pages of pictures of 1, 4 and 16 MB; its counters tell the
// child's peak memory (max RSS) beside the budget of 8 bytes a byte of page plus
// 150 MB. BM_PageInfoFirstRows measures what a user waits for after
// Ctrl+I: a new Page Info window shown, the inventory taken, and its Media
// table painted with its first rows (thumbnails still arriving).

#include "bench/BenchSupport.h"
#include "bench/InventoryPage.h"
#include "bench/ToolRun.h"
#include "bench/Wait.h"
#include "platform/PageInventory.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

QWebEnginePage *benchPage = nullptr;

// A saved page of pictures of about `bytes` bytes: figures of a linked
// thumbnail with a 2x candidate and an alt text, and a caption with a lazy
// picture and an inline background; one background in fifty repeats.
QByteArray makePicturePage(qsizetype bytes)
{
    QByteArray page = "<!DOCTYPE html><html><head><title>pictures</title><style>\n"
                      ".card { display: inline-block; width: 70px }\n</style></head><body>\n";
    page.reserve(bytes + 1024);
    for (int n = 0; page.size() < bytes; ++n) {
        const QByteArray k = QByteArray::number(n);
        page += "<figure class=\"card\"><a href=\"full/p" + k + ".jpg\"><img src=\"thumbs/p" + k +
                ".jpg\" srcset=\"thumbs/p" + k + ".jpg 1x, thumbs/p" + k +
                "-2x.jpg 2x\" alt=\"Picture " + k +
                "\" width=\"64\" height=\"48\"></a><figcaption data-src=\"lazy/l" + k +
                ".jpg\" style=\"background-image: url(bg/b" + QByteArray::number(n % 50) +
                ".png)\">Picture " + k + "</figcaption></figure>\n";
    }
    page += "</body></html>\n";
    return page;
}

// The tool measured: QUARROW_INVENTORY_TOOL names another build of it to compare.
QByteArray inventoryTool()
{
    const QByteArray chosen = qgetenv("QUARROW_INVENTORY_TOOL");
    return chosen.isEmpty() ? QByteArray(QUARROW_INVENTORY_TOOL) : chosen;
}

void BM_InventoryTool(benchmark::State &state)
{
    const qsizetype bytes = state.range(0);
    // One page per size, made once for all the runs.
    const QString input = benchPageFile(bytes, makePicturePage);
    if (input.isEmpty()) {
        state.SkipWithError("cannot write the page");
        return;
    }
    const double pageMb = double(QFileInfo(input).size()) / (1024.0 * 1024.0);
    long peakKb = 0;
    double seconds = 0;
    for (auto _ : state) {
        const ToolRun run =
            runToolCold({inventoryTool(), "--url", "https://www.example.com/gallery/",
                         QFile::encodeName(input)});
        if (!run.ok) {
            state.SkipWithError("quarrow-inventory failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        peakKb = std::max(peakKb, run.maxRssKb);
        seconds = run.seconds;
    }
    state.counters["page_MB"] = pageMb;
    state.counters["s_per_MB"] = seconds / pageMb;
    state.counters["peak_RSS_MB"] = double(peakKb) / 1024.0;
    state.counters["budget_MB"] = 8.0 * pageMb + 150.0;
}
BENCHMARK(BM_InventoryTool)
    ->Arg(1024 * 1024)
    ->Arg(4 * 1024 * 1024)
    ->Arg(16 * 1024 * 1024)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::smallest)
    ->Unit(benchmark::kMillisecond);

Inventory collectOnce()
{
    Inventory result;
    bool done = false;
    PageInventory::collect(benchPage, [&](const Inventory &inventory) {
        result = inventory;
        done = true;
    });
    if (!benchwait::until([&] { return done; }, 60000))
        std::fprintf(stderr, "inventory_bench: no answer\n");
    return result;
}

double engineMilliseconds()
{
    double ms = -1;
    bool done = false;
    const QString script = QStringLiteral("(function(){const t0=performance.now();const r=%1;"
                                          "return performance.now()-t0;})()")
                               .arg(PageInventory::script());
    benchPage->runJavaScript(script, PageInventory::worldId, [&](const QVariant &value) {
        ms = value.toDouble();
        done = true;
    });
    if (!benchwait::until([&] { return done; }, 60000))
        std::fprintf(stderr, "inventory_bench: no answer\n");
    return ms;
}

void BM_CollectWholeCall(benchmark::State &state)
{
    qsizetype pictures = 0;
    for (auto _ : state) {
        const Inventory inventory = collectOnce();
        pictures = inventory.pictures.size();
        if (!inventory.valid)
            state.SkipWithError("the collector failed");
    }
    state.counters["pictures"] = double(pictures);
}
BENCHMARK(BM_CollectWholeCall)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->UseRealTime()
    ->ComputeStatistics("min", benchsupport::smallest);

// The script's own time, as the engine's clock tells it.
void BM_CollectInEngine(benchmark::State &state)
{
    for (auto _ : state) {
        const double ms = engineMilliseconds();
        state.SetIterationTime(ms / 1000.0);
    }
}
BENCHMARK(BM_CollectInEngine)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->UseManualTime()
    ->ComputeStatistics("min", benchsupport::smallest);

// From the command to the Media tab painted with its first rows.
void BM_PageInfoFirstRows(benchmark::State &state)
{
    int rows = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        auto *window = new PageInfoWindow(benchPage->profile(), QString());
        window->tabs()->setCurrentIndex(1);
        window->show();
        bool done = false;
        PageInventory::collect(benchPage, [&](const Inventory &inventory) {
            window->setInventory(inventory);
            done = true;
        });
        if (!benchwait::until([&] { return done; }, 60000))
            state.SkipWithError("no inventory");
        window->mediaTable()->viewport()->repaint();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        rows = window->mediaModel()->rowCount();
        delete window;
        benchwait::until([] { return false; }, 50);
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_PageInfoFirstRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->UseManualTime()
    ->ComputeStatistics("min", benchsupport::smallest);

} // namespace

int main(int argc, char **argv)
{
    benchsupport::prepareEngineProcess();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    // The tool's runs come first, while this process is small: a child is
    // charged the memory of the process that started it until it has started.
    const std::string filter = benchmark::GetBenchmarkFilter();
    const bool everything = filter.empty() || filter == "." || filter == "all";
    const bool toolOnly = !everything && filter.find("InventoryTool") != std::string::npos;
    if (everything || toolOnly)
        benchmark::RunSpecifiedBenchmarks(everything ? std::string("^BM_InventoryTool") : filter);
    if (toolOnly) {
        benchmark::Shutdown();
        return 0;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.html"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(benchMarkup()) < 0)
            return 1;
    }
    int status = 0;
    {
        auto profile = std::make_unique<QWebEngineProfile>();
        benchPage = new QWebEnginePage(profile.get());
        auto view = std::make_unique<QWebEngineView>();
        view->setPage(benchPage);
        view->resize(1024, 768);
        view->show();
        QSignalSpy loaded(benchPage, &QWebEnginePage::loadFinished);
        benchPage->load(QUrl::fromLocalFile(path));
        if (!loaded.wait(120000) || !loaded.first().first().toBool()) {
            std::fprintf(stderr, "inventory_bench: the page did not load\n");
            status = 1;
        } else {
            const Inventory warm = collectOnce(); // styles and layout computed once
            std::fprintf(stderr, "inventory_bench: %lld pictures\n",
                         static_cast<long long>(warm.pictures.size()));
            benchmark::RunSpecifiedBenchmarks(everything ? std::string("^BM_(Collect|PageInfo)")
                                                         : filter);
        }
        view.reset();
        delete benchPage;
        benchPage = nullptr;
    }
    benchmark::Shutdown();
    return status;
}

// audit_bench: what Page Info adds to each picture of a page, on the page of
// inventory_bench (20,000 elements, 5,050 pictures) loaded once from a file in
// an offscreen view.
//   BM_SourcesAndStates: from the moment the live inventory is in (the window
//     given it) until every row is in the table with its state and source, the
//     served markup being read from the moment the inventory was asked for, as
//     the program does. Counters: the inventory's own time, and the served
//     markup's from its start.
//   BM_AuditWithoutEstimates: the audit's findings of every row, without the
//     re-encoding estimates.
//   BM_EstimatesFrameGap: a page of 24 large photos shown small; from the
//     window given its inventory until every estimate is in, the longest time
//     the window's thread went without its events (a 5 ms timer's ticks) and
//     how many gaps were over 50 ms.

#include "bench/BenchSupport.h"
#include "bench/InventoryPage.h"
#include "bench/Wait.h"
#include "platform/PictureEstimator.h"
#include "windows/MediaModels.h"
#include "windows/PageInfoWindow.h"
#include "windows/PictureFetcher.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

QWebEnginePage *benchPage = nullptr;
QTemporaryDir *benchFolder = nullptr;

bool loadPage(const QString &path)
{
    QSignalSpy loaded(benchPage, &QWebEnginePage::loadFinished);
    benchPage->load(QUrl::fromLocalFile(path));
    return loaded.wait(120000) && loaded.first().first().toBool();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A photo-like picture: a smooth sky with grain.
QByteArray photo(const QSize &size, const char *format, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 120, 220));
    sky.setColorAt(1, QColor::fromHsv((seed * 53) % 360, 200, 60));
    painter.fillRect(image.rect(), sky);
    painter.end();
    QRandomGenerator grain{quint32(seed)};
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int d = int(grain.bounded(20)) - 10;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + d, 255), qBound(0, qGreen(p) + d, 255),
                           qBound(0, qBlue(p) + d, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 92);
    return bytes;
}

// The window given the inventory, as the program gives it: the served markup
// asked for when the inventory is.
struct Shown {
    double afterInventoryMs = -1;
    double inventoryMs = -1;
    double servedMs = -1;
    int rows = 0;
};

Shown showInventory(PageInfoWindow *window)
{
    Shown out;
    QElapsedTimer clock;
    clock.start();
    bool servedDone = false;
    QObject::connect(window, &PageInfoWindow::sourcesShown, window, [&] {
        servedDone = true;
        out.servedMs = double(clock.nsecsElapsed()) / 1e6;
    });
    window->setLivePage(benchPage);
    window->readServedMarkup(benchPage->url());
    Inventory inventory;
    bool done = false;
    PageInventory::collect(benchPage, [&](const Inventory &result) {
        inventory = result;
        done = true;
    });
    if (!benchwait::until([&] { return done; }, 60000) || !inventory.valid)
        return out;
    out.inventoryMs = double(clock.nsecsElapsed()) / 1e6;
    QElapsedTimer after;
    after.start();
    bool shown = false;
    QObject::connect(window, &PageInfoWindow::inventoryShown, window, [&] { shown = true; });
    window->setInventory(inventory);
    benchwait::until([&] { return shown && servedDone; }, 60000);
    // Every row's state and source, as the table asks for them.
    MediaModel *media = window->mediaModel();
    int rows = 0;
    for (int row = 0; row < media->rowCount(); ++row) {
        rows += media->index(row, MediaModel::State).data().toString().isEmpty() ? 0 : 1;
        media->index(row, MediaModel::Source).data();
    }
    out.afterInventoryMs = double(after.nsecsElapsed()) / 1e6;
    out.rows = rows;
    return out;
}

void BM_SourcesAndStates(benchmark::State &state)
{
    Shown last;
    for (auto _ : state) {
        auto *window = new PageInfoWindow(benchPage->profile(), QString());
        window->tabs()->setCurrentIndex(1);
        window->show();
        last = showInventory(window);
        if (last.afterInventoryMs < 0 || !window->mediaModel()->sourcesKnown()) {
            std::fprintf(stderr, "audit_bench: %f %f %f %s\n", last.afterInventoryMs,
                         last.inventoryMs, last.servedMs,
                         qPrintable(window->mediaModel()->servedError()));
            state.SkipWithError("no inventory or no sources");
        }
        state.SetIterationTime(last.afterInventoryMs / 1000.0);
        delete window;
        benchwait::until([] { return false; }, 50);
    }
    state.counters["rows"] = last.rows;
    state.counters["inventory_ms"] = last.inventoryMs;
    state.counters["served_from_start_ms"] = last.servedMs;
}
BENCHMARK(BM_SourcesAndStates)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->UseManualTime()
    ->ComputeStatistics("min", benchsupport::smallest);

void BM_AuditWithoutEstimates(benchmark::State &state)
{
    auto *window = new PageInfoWindow(benchPage->profile(), QString());
    showInventory(window);
    MediaModel *media = window->mediaModel();
    int findings = 0;
    for (auto _ : state) {
        findings = 0;
        for (int row = 0; row < media->rowCount(); ++row)
            findings += int(PictureAudit::audit(media->auditFacts(row)).size());
    }
    state.counters["rows"] = media->rowCount();
    state.counters["findings"] = findings;
    delete window;
}
BENCHMARK(BM_AuditWithoutEstimates)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ComputeStatistics("min", benchsupport::smallest);

void BM_EstimatesFrameGap(benchmark::State &state)
{
    // 24 photos of 1600 x 1200, half JPEG and half PNG, shown at 200 x 150.
    QByteArray html = "<!DOCTYPE html><html><head><title>photos</title></head><body>\n";
    for (int i = 0; i < 24; ++i) {
        const bool png = i % 2 == 1;
        const QString name = QStringLiteral("photo%1.%2").arg(i).arg(png ? "png" : "jpg");
        if (!QFile::exists(benchFolder->filePath(name)) &&
            !writeFile(benchFolder->filePath(name),
                       photo(QSize(1600, 1200), png ? "PNG" : "JPEG", i + 1))) {
            state.SkipWithError("cannot write the photos");
            return;
        }
        html += "<img src=\"" + name.toUtf8() + "\" alt=\"photo\" width=\"200\" height=\"150\">\n";
    }
    html += "</body></html>\n";
    const QString path = benchFolder->filePath(QStringLiteral("photos.html"));
    if (!writeFile(path, html) || !loadPage(path)) {
        state.SkipWithError("cannot load the page of photos");
        return;
    }
    double longest = 0;
    int over50 = 0;
    int estimates = 0;
    for (auto _ : state) {
        auto *window = new PageInfoWindow(benchPage->profile(), QString());
        window->tabs()->setCurrentIndex(1);
        window->show();
        QElapsedTimer gap;
        double worst = 0;
        int slow = 0;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double ms = double(gap.nsecsElapsed()) / 1e6;
            gap.restart();
            worst = std::max(worst, ms);
            slow += ms > 50 ? 1 : 0;
        });
        QElapsedTimer clock;
        clock.start();
        gap.start();
        tick.start();
        showInventory(window);
        MediaModel *media = window->mediaModel();
        // Every estimate in: the fetcher and the estimator are idle, and each
        // photo's findings tell what WebP or the right size would save.
        const auto allIn = [&] {
            if (!window->fetcher()->idle() || !media->estimator()->idle())
                return false;
            int made = 0;
            for (int row = 0; row < media->rowCount(); ++row) {
                for (const PictureAudit::Issue &issue : media->issues(row))
                    made += issue.savings >= 0 && issue.kind == PictureAudit::Oversized ? 1 : 0;
            }
            estimates = made;
            return made == media->rowCount();
        };
        if (!benchwait::until(allIn, 180000)) {
            std::fprintf(stderr, "fetcher idle %d estimator idle %d estimates %d rows %d\n",
                         window->fetcher()->idle(), media->estimator()->idle(), estimates,
                         media->rowCount());
            for (int row = 0; row < media->rowCount(); ++row)
                std::fprintf(stderr, "%s: %s\n", qPrintable(media->entry(row).address),
                             qPrintable(media->index(row, MediaModel::Issues).data().toString()));
            state.SkipWithError("the estimates did not all come");
        }
        tick.stop();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        longest = worst;
        over50 = slow;
        delete window;
        benchwait::until([] { return false; }, 50);
    }
    state.counters["longest_gap_ms"] = longest;
    state.counters["gaps_over_50ms"] = over50;
    state.counters["estimates"] = estimates;
}
BENCHMARK(BM_EstimatesFrameGap)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->ComputeStatistics("min", benchsupport::smallest);

} // namespace

int main(int argc, char **argv)
{
    benchsupport::prepareEngineProcess();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    benchFolder = &dir;
    const QString path = dir.filePath(QStringLiteral("bench.html"));
    if (!writeFile(path, benchMarkup()))
        return 1;
    int status = 0;
    {
        auto profile = std::make_unique<QWebEngineProfile>();
        benchPage = new QWebEnginePage(profile.get());
        auto view = std::make_unique<QWebEngineView>();
        view->setPage(benchPage);
        view->resize(1024, 768);
        view->show();
        if (!loadPage(path)) {
            std::fprintf(stderr, "audit_bench: the page did not load\n");
            status = 1;
        } else {
            benchmark::RunSpecifiedBenchmarks();
        }
        view.reset();
        delete benchPage;
        benchPage = nullptr;
    }
    benchmark::Shutdown();
    return status;
}

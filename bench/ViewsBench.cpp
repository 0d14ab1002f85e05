// views_bench: the time a user waits, in the real main window, from the live
// page's own load finished to both the Source Code and the Images view loaded
// with the new page. Pages of 1 MB and 5 MB, dense with pictures and links to
// pictures (one of each every 250 bytes, half the names repeated), served by a
// local HTTP server. Each run loads a fresh address; the pictures are either
// new to the engine (first visit) or in its cache (revisit).

#include "bench/Wait.h"
#include "platform/ProgramFolder.h"
#include "platform/WebBrowser.h"
#include "shell/Form1.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWebEngineScript>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

// The site is served from a thread of its own, as a real server would be:
// the window's thread must not spend its time answering the page's requests.
struct Bench {
    QTemporaryDir program;
    QTemporaryDir site;
    QThread serverThread;
    testsupport::HttpServer *server = nullptr;
    QString origin;
    std::unique_ptr<Form1> form;
};
Bench *bench = nullptr;

QByteArray densePage(qsizetype bytes, int salt)
{
    QByteArray page = "<!DOCTYPE html><html><head><title>dense</title></head><body>\n";
    int n = 0;
    while (page.size() < bytes) {
        // Half the names repeat an earlier one.
        const int name = (n % 2) ? (n / 2) % 997 : n;
        const QByteArray k = QByteArray::number(name);
        page += "<p>Row " + QByteArray::number(n) + " <img src=\"p/i" + k +
                ".gif\" alt=\"a picture\"> and <a href=\"p/l" + k + "-" + QByteArray::number(salt) +
                ".jpg\">its large copy</a> with some words of text around it all.</p>\n";
        ++n;
    }
    return page + "</body></html>\n";
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    return benchwait::until(done, timeoutMs);
}

// True when every picture of the view's page has arrived or failed.
bool picturesSettled(WebBrowser *view)
{
    bool settled = false, answered = false;
    view->page()->runJavaScript(
        "Array.from(document.images).every(function (i) { return i.complete; })",
        QWebEngineScript::ApplicationWorld, [&settled, &answered](const QVariant &value) {
            settled = value.toBool();
            answered = true;
        });
    waitUntil([&answered] { return answered; }, 10000);
    return answered && settled;
}

void BM_ViewsAfterLoad(benchmark::State &state)
{
    const qsizetype bytes = state.range(0) * 1024 * 1024;
    const bool revisit = state.range(1) != 0;
    static int serial = 0;
    for (auto _ : state) {
        const int salt = ++serial;
        const QString path = QStringLiteral("/page%1.html").arg(salt);
        // A revisit asks for the pictures of the first page again.
        testsupport::writeFile(bench->site.path() + path, densePage(bytes, revisit ? 0 : salt));
        WebBrowser *live = bench->form->view(View::Live);
        WebBrowser *source = bench->form->view(View::Source);
        WebBrowser *images = bench->form->view(View::Images);
        const int harvests = bench->form->harvestsDone();
        bool liveDone = false, sourceDone = false, imagesDone = false;
        QElapsedTimer clock;
        qint64 harvestMs = -1, sourceMs = -1, imagesMs = -1;
        auto d = QObject::connect(bench->form.get(), &Form1::harvestFinished, [&] {
            if (liveDone && harvestMs < 0)
                harvestMs = clock.elapsed();
        });
        auto a = QObject::connect(live, &QWebEngineView::loadFinished, [&] {
            if (!liveDone) {
                liveDone = true;
                clock.start();
            }
        });
        auto b = QObject::connect(source, &QWebEngineView::loadFinished, [&] {
            sourceDone = liveDone && bench->form->harvestsDone() > harvests;
            if (sourceDone && sourceMs < 0)
                sourceMs = clock.elapsed();
        });
        auto c = QObject::connect(images, &QWebEngineView::loadFinished, [&] {
            imagesDone = liveDone && bench->form->harvestsDone() > harvests;
            if (imagesDone && imagesMs < 0)
                imagesMs = clock.elapsed();
        });
        live->Navigate(bench->origin + path);
        const bool ok = waitUntil([&] { return sourceDone && imagesDone; }, 120000);
        const double seconds = clock.nsecsElapsed() / 1e9;
        QObject::disconnect(a);
        QObject::disconnect(b);
        QObject::disconnect(c);
        QObject::disconnect(d);
        if (!ok) {
            state.SkipWithError("the views did not load");
            break;
        }
        state.SetIterationTime(seconds);
        // Where the time went: the harvest, then each view's own load.
        state.counters["harvest_ms"] = double(harvestMs);
        state.counters["source_ms"] = double(sourceMs);
        state.counters["images_ms"] = double(imagesMs);
        // Let the pictures settle before the next page: the Images view takes
        // its later pictures after its load.
        waitUntil([&] { return !images->Busy() && !bench->form->generatedPagesGrowing(); }, 60000);
        for (int tries = 0; tries < 600 && !picturesSettled(images); ++tries)
            waitUntil([] { return false; }, 100);
    }
    state.SetLabel(revisit ? "pictures cached" : "first visit");
}

double minimum(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

} // namespace

BENCHMARK(BM_ViewsAfterLoad)
    ->ArgsProduct({{1, 5}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

int main(int argc, char **argv)
{
    testsupport::prepareEnvironment();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Bench state;
    bench = &state;
    QDir(state.site.path()).mkpath(QStringLiteral("p"));
    state.serverThread.start();
    QObject anchor; // lives on the server's thread, to run code there
    anchor.moveToThread(&state.serverThread);
    bool listening = false;
    QMetaObject::invokeMethod(
        &anchor,
        [&] {
            state.server = new testsupport::HttpServer(state.site.path());
            listening = state.server->start();
            state.origin = state.server->urlText(QString());
        },
        Qt::BlockingQueuedConnection);
    if (!listening)
        return 1;
    ProgramFolder::setPathForTesting(state.program.path());
    Form1::setOffTheRecord(true);
    state.form = std::make_unique<Form1>();
    state.form->resize(1200, 900);
    state.form->show();
    waitUntil([&] { return state.form->harvestsDone() > 0; }, 30000);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    state.form.reset();
    QMetaObject::invokeMethod(
        &anchor, [&] { delete state.server; }, Qt::BlockingQueuedConnection);
    state.serverThread.quit();
    state.serverThread.wait();
    return 0;
}

// views_bench: the time a user waits, in the real main window, from the live
// page's own load finished to the Source Code or the Images view, whichever
// shows, with the new page: its first screen painted, and its whole page
// loaded. Pages of 1 MB and 5 MB, dense with pictures and links to pictures
// (one of each every 250 bytes, half the names repeated), served by a local
// HTTP server. Each run loads a fresh address.

#include "bench/BenchSupport.h"
#include "bench/Wait.h"
#include "platform/ProgramFolder.h"
#include "platform/QuarrowScheme.h"
#include "platform/WebBrowser.h"
#include "shell/Form1.h"
#include "shell/GeneratedViews.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
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

// The moment (milliseconds since the epoch) the view's document first painted
// some of its content, or a negative number when it has not.
double firstPaint(WebBrowser *view)
{
    double at = -1;
    bool answered = false;
    view->page()->runJavaScript(
        "(function(){var p = performance.getEntriesByName('first-contentful-paint')[0];"
        "return p ? performance.timeOrigin + p.startTime : -1;})()",
        QWebEngineScript::ApplicationWorld, [&at, &answered](const QVariant &value) {
            at = value.toDouble();
            answered = true;
        });
    waitUntil([&answered] { return answered; }, 10000);
    return at;
}

// From the live page's load finished to the view that shows: its first screen
// painted, and its whole page loaded. The view that shows is the Source Code
// (0) or the Images view (1); the other one loads hidden meanwhile.
void BM_ViewAfterLoad(benchmark::State &state)
{
    const qsizetype bytes = state.range(0) * 1024 * 1024;
    const View shown = state.range(1) == 0 ? View::Source : View::Images;
    static int serial = 0;
    bench->form->action(shown == View::Source ? Command::ShowSource : Command::ShowImages)
        ->trigger();
    WebBrowser *live = bench->form->view(View::Live);
    WebBrowser *view = bench->form->view(shown);
    for (auto _ : state) {
        const int salt = ++serial;
        const QString path = QStringLiteral("/page%1.html").arg(salt);
        testsupport::writeFile(bench->site.path() + path, densePage(bytes, salt));
        const QUrl before = view->url();
        bool liveDone = false, viewDone = false;
        QElapsedTimer clock;
        qint64 liveAt = 0;
        qint64 wholeMs = -1, harvestMs = -1, openedMs = -1;
        auto e = QObject::connect(bench->form->generatedViews(), &GeneratedViews::pagesOpened, [&] {
            if (liveDone && openedMs < 0)
                openedMs = clock.elapsed();
        });
        auto a = QObject::connect(live, &QWebEngineView::loadFinished, [&] {
            if (!liveDone) {
                liveDone = true;
                liveAt = QDateTime::currentMSecsSinceEpoch();
                clock.start();
            }
        });
        auto b = QObject::connect(view, &QWebEngineView::loadFinished, [&] {
            if (liveDone && !viewDone && view->url() != before &&
                Form1::isGeneratedPage(view->url())) {
                viewDone = true;
                wholeMs = clock.elapsed();
            }
        });
        auto c = QObject::connect(bench->form.get(), &Form1::harvestFinished, [&] {
            if (liveDone && harvestMs < 0)
                harvestMs = clock.elapsed();
        });
        live->Navigate(bench->origin + path);
        const bool ok = waitUntil([&] { return viewDone; }, 120000);
        QObject::disconnect(a);
        QObject::disconnect(b);
        QObject::disconnect(c);
        QObject::disconnect(e);
        if (!ok) {
            state.SkipWithError("the view did not load");
            break;
        }
        const double painted = firstPaint(view);
        const double firstMs = painted < 0 ? -1 : painted - double(liveAt);
        state.SetIterationTime(wholeMs / 1000.0);
        state.counters["first_screen_ms"] = firstMs;
        state.counters["whole_ms"] = double(wholeMs);
        state.counters["files_written_ms"] = double(harvestMs);
        state.counters["harvested_ms"] = double(openedMs);
        // The pictures that the view fetches after its load settle before
        // the next page.
        waitUntil([&] { return !bench->form->view(View::Images)->Busy(); }, 60000);
    }
    state.SetLabel(shown == View::Source ? "Source Code view" : "Images view");
}

} // namespace

BENCHMARK(BM_ViewAfterLoad)
    ->ArgsProduct({{1, 5}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", benchsupport::smallest)
    ->ReportAggregatesOnly(true);

int main(int argc, char **argv)
{
    testsupport::prepareEnvironment();
    QuarrowScheme::registerScheme();
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

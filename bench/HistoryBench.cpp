// history_bench: what a letter typed into the address box costs with a full
// history (10,000 visits of about 9,000 pages on 200 sites, titles of four to eight
// words). BM_Suggestions is the store's search alone, for texts that match
// many pages, a few, one, or none (the whole store is read); BM_TypeALetter
// is a letter typed into a real address box with its completer, up to the
// suggestions in the popup's list; BM_Open the store opened at start-up.

#include "platform/History.h"
#include "shell/AddressCompleter.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const char *const words[] = {"news",   "weather", "recipe", "garden", "music",  "travel",
                             "python", "linux",   "kernel", "review", "guide",  "forum",
                             "photo",  "video",   "market", "stocks", "health", "sport",
                             "the",    "and",     "best",   "how",    "to",     "new"};

struct Store {
    QTemporaryDir folder;
    std::unique_ptr<History> history;

    Store()
    {
        history = std::make_unique<History>(folder.filePath(QStringLiteral("history.sqlite")));
        quint32 seed = 12345;
        const auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) & 0xffff;
        };
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-90);
        for (int i = 0; i < History::maxVisits; ++i) {
            const int site = int(next() % 200);
            const int page = int(next() % 20);
            QString title;
            for (int w = 0, n = 4 + int(next() % 5); w < n; ++w)
                title += QString::fromLatin1(words[next() % std::size(words)]) + QLatin1Char(' ');
            // One visit in ten goes back to a page of the site seen before;
            // the others are pages of their own: 9,000 pages in all.
            const int article = i % 10 == 0 ? page * 7 + site : i;
            const QUrl url(QStringLiteral("https://www.site%1.example/%2/article-%3.html")
                               .arg(site)
                               .arg(QString::fromLatin1(words[page]))
                               .arg(article));
            history->addVisit(url, title, start.addSecs(i * 60));
        }
    }
};

Store &store()
{
    static Store s;
    return s;
}

const char *const typed[] = {"s", "site1", "news guide", "site199.example/kernel", "zzzz"};

void BM_Suggestions(benchmark::State &state)
{
    History &history = *store().history;
    const QString text = QString::fromLatin1(typed[state.range(0)]);
    state.SetLabel(typed[state.range(0)]);
    qsizetype found = 0;
    for (auto _ : state) {
        found = history.suggestions(text, AddressCompleter::maxSuggestions).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = double(found);
}
BENCHMARK(BM_Suggestions)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

void BM_TypeALetter(benchmark::State &state)
{
    History &history = *store().history;
    QLineEdit box;
    AddressCompleter completer(&history, &box);
    box.resize(600, 24);
    box.show();
    box.setFocus();
    const QString text = QString::fromLatin1(typed[state.range(0)]);
    state.SetLabel(typed[state.range(0)]);
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        box.setText(text.chopped(1));
        state.ResumeTiming();
        QTest::keyClick(&box, text.back().toLatin1());
        rows = completer.completer()->completionModel()->rowCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_TypeALetter)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// What the window's start pays: the full store opened, checked and read into
// memory.
void BM_Open(benchmark::State &state)
{
    const QString file = store().history->file();
    int pages = 0;
    for (auto _ : state) {
        History again(file);
        pages = again.pageCount();
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// decode_bench: one thumbnail decode (160 × 160) of pictures crafted to cost far
// more to decode than to send, as a hostile page serves them:
//   png8000            an 8000 × 8000 grey PNG of zeros (61 KB)
//   png8000-1bit       the same of one bit a pixel (8 KB)
//   webp6400-animated  an animated WebP of a 6400 × 6400 canvas and one
//                      frame of 1 × 1 (under 100 bytes)
//   png4000            a 4000 × 2000 grey PNG, within the bounds: the cost of
//                      a big picture that is still shown
// BM_Bounded is the thumbnailer's decode (PictureFetcher::decodePicture, with
// its limits); BM_Unbounded a plain image reader that detects the format and
// scales on reading, without an allocation limit, as the thumbnailer decoded
// before it had bounds of its own. The
// counter decoded is 1 when a thumbnail came out, 0 when the picture was
// refused; peakRssMB the most memory the process has held so far (the bounded
// runs come first, so each unbounded one shows what it added).

#include "windows/PictureFetcher.h"

#include "tests/support/CraftedPictures.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

using crafted::animatedWebp;
using crafted::greyPng;

const QByteArray &picture(int which)
{
    static const QByteArray pictures[] = {greyPng(8000, 8000, 8), greyPng(8000, 8000, 1),
                                          animatedWebp(6400), greyPng(4000, 2000, 8)};
    return pictures[which];
}

const char *const names[] = {"png8000", "png8000-1bit", "webp6400-animated", "png4000"};

// The most memory the process has held so far.
double peakRssMB()
{
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024;
}

void BM_Bounded(benchmark::State &state)
{
    const QByteArray &bytes = picture(int(state.range(0)));
    state.SetLabel(names[state.range(0)]);
    QImage image;
    for (auto _ : state) {
        QSize natural;
        QString problem;
        image = PictureFetcher::decodePicture(bytes, QSize(160, 160), {}, &natural, &problem);
        benchmark::DoNotOptimize(image);
    }
    state.counters["inputKB"] = double(bytes.size()) / 1024;
    state.counters["decoded"] = image.isNull() ? 0 : 1;
    state.counters["peakRssMB"] = peakRssMB();
}

void BM_Unbounded(benchmark::State &state)
{
    const QByteArray &bytes = picture(int(state.range(0)));
    state.SetLabel(names[state.range(0)]);
    // As before: any format the bytes or their reader choose, and no
    // allocation limit of the program's own. Qt's default (128 MB in Qt 6.4)
    // gives way to QT_IMAGEIO_MAXALLOC; here it is off, as QT_IMAGEIO_MAXALLOC=0
    // has it.
    QImageReader::setAllocationLimit(0);
    QImage image;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize natural = reader.size();
        if (reader.supportsOption(QImageIOHandler::ScaledSize))
            reader.setScaledSize(natural.scaled(QSize(160, 160), Qt::KeepAspectRatio));
        image = reader.read();
        benchmark::DoNotOptimize(image);
    }
    QImageReader::setAllocationLimit(PictureFetcher::allocationLimitMb);
    state.counters["inputKB"] = double(bytes.size()) / 1024;
    state.counters["decoded"] = image.isNull() ? 0 : 1;
    state.counters["peakRssMB"] = peakRssMB();
}

} // namespace

BENCHMARK(BM_Bounded)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Unbounded)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The allocation limit the window's fetcher sets for the process.
    QImageReader::setAllocationLimit(PictureFetcher::allocationLimitMb);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

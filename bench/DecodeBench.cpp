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

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray out(4, 0);
    for (int i = 0; i < 4; ++i)
        out[i] = char(value >> (24 - 8 * i));
    return out;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A grey PNG of zeros, of `bits` a pixel (1 or 8).
QByteArray greyPng(quint32 width, quint32 height, int bits)
{
    const QByteArray header =
        bigEndian(width) + bigEndian(height) + char(bits) + QByteArray("\0\0\0\0", 4);
    const QByteArray pixels(qsizetype(height) * ((width * bits + 7) / 8 + 1), 0);
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(pixels, 9).mid(4)) + pngChunk("IEND", {});
}

QByteArray little(quint32 value, int bytes)
{
    QByteArray out(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        out[i] = char(value >> (8 * i));
    return out;
}

QByteArray riffChunk(const QByteArray &type, const QByteArray &data)
{
    return type + little(quint32(data.size()), 4) + data + (data.size() % 2 ? "\0" : "");
}

// An animated WebP whose canvas is side × side, with one frame of 1 × 1: its
// decoder makes the whole canvas before the first frame.
QByteArray animatedWebp(int side)
{
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.fill(Qt::red);
    QByteArray still;
    QBuffer buffer(&still);
    buffer.open(QIODevice::WriteOnly);
    dot.save(&buffer, "webp", 100); // 100: lossless, one VP8L chunk
    const QByteArray frame = still.mid(12);
    const QByteArray vp8x =
        QByteArray("\x12\0\0\0", 4) + little(quint32(side - 1), 3) + little(quint32(side - 1), 3);
    const QByteArray anim = little(0, 4) + little(0, 2);
    const QByteArray anmf = little(0, 3) + little(0, 3) + little(0, 3) + little(0, 3) +
                            little(100, 3) + QByteArray(1, 0) + frame;
    const QByteArray body =
        "WEBP" + riffChunk("VP8X", vp8x) + riffChunk("ANIM", anim) + riffChunk("ANMF", anmf);
    return "RIFF" + little(quint32(body.size()), 4) + body;
}

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

#include "harvest/Harvest.h"
#include "harvest/SourceView.h"

bool ResetWorkingFiles(const WorkingFiles &files, QString *error)
{
    for (const QLatin1StringView name : {WorkingFiles::CheckImages, WorkingFiles::CheckImagesClean,
                                         WorkingFiles::Browser, WorkingFiles::Images}) {
        if (!files.writeReplace(name, QString(), error))
            return false;
    }
    return true;
}

namespace {

// The two scans of a page's UTF-8 text into lists, within the page's limits: the
// image scan, then the link scan. Returns how many entries found no room.
qsizetype scanPage(QByteArrayView text, const QString &pageUrl, const QString &baseUrl,
                   harvest::Utf8Lists &lists)
{
    using namespace harvest;
    const Limits limits = Limits::forBytes(text.size());
    ScanBudget budget;
    budget.charsLeft = limits.listChars;
    ScanPage(text, pageUrl, baseUrl, lists, budget);
    return budget.refused;
}

// The sentences for the limits a harvest reached.
QStringList noticesOf(qsizetype refused, const harvest::SourcePageCuts &cuts, qsizetype shown,
                      qsizetype recorded)
{
    using namespace harvest;
    QStringList notices;
    if (refused > 0)
        notices.append(
            QStringLiteral("%1 more pictures and links to pictures were not recorded: the "
                           "lists are full for a page of this size.")
                .arg(refused));
    const QString sourceNotice = SourceCutNotice(cuts);
    if (!sourceNotice.isEmpty())
        notices.append(sourceNotice);
    const QString imageNotice = ImageCutNotice(shown, recorded);
    if (!imageNotice.isEmpty())
        notices.append(imageNotice);
    return notices;
}

} // namespace

HarvestResult Harvest(const QString &pageText, const QString &pageUrl, const QString &baseUrl)
{
    return HarvestBytes(pageText.toUtf8(), pageUrl, baseUrl);
}

HarvestResult HarvestBytes(QByteArrayView pageUtf8, const QString &pageUrl, const QString &baseUrl,
                           const HarvestViews *views)
{
    using namespace harvest;
    HarvestResult result;
    QByteArray converted;
    const QByteArrayView text = ValidUtf8(pageUtf8, &converted);
    Utf8Lists lists;
    const qsizetype refused = scanPage(text, pageUrl, baseUrl, lists);
    SourcePageCuts cuts;
    result.sourcePage.reserve(text.size() + text.size() / 4 + 64);
    {
        ByteArraySink sink(result.sourcePage);
        WriteSourcePage(text, lists, sink, &cuts);
    }
    qsizetype shown = 0;
    {
        ByteArraySink sink(result.imagePage);
        WriteImagePage(lists, Limits::forBytes(text.size()).imagePageBytes, sink, &shown);
    }
    if (views) {
        SourceViewOptions source;
        source.headExtra = views->sourceHead;
        result.sourceView.reserve(text.size() * 3 + 4096);
        ByteArraySink sourceSink(result.sourceView);
        WriteSourceView(text, lists, sourceSink, source);
        ImageViewOptions images;
        images.headExtra = views->imageHead;
        ByteArraySink imageSink(result.imageView);
        WriteImageView(lists, Limits::forBytes(text.size()).imagePageBytes, imageSink, nullptr,
                       images);
    }
    result.lists = lists.toResultLists();
    result.notices = noticesOf(refused, cuts, shown, lists.Links[1].size());
    return result;
}

HarvestReport WriteWorkingFiles(const HarvestResult &result, const WorkingFiles &files)
{
    // Each write stands on its own: one that fails leaves the rest to run, and the
    // first failure is what the report tells.
    HarvestReport report;
    report.notices = result.notices;
    QString why;
    report.pagesWritten = files.writePair(WorkingFiles::ImagePage, result.imagePage,
                                          WorkingFiles::SourcePage, result.sourcePage, &why);
    if (!report.pagesWritten)
        report.failure = why;
    if (!ResetWorkingFiles(files, &why) && report.failure.isEmpty())
        report.failure = why;
    return report;
}

HarvestReport RunHarvest(const QString &pageText, const QString &pageUrl, const WorkingFiles &files,
                         ResultLists &lists, const QString &baseUrl)
{
    const HarvestResult result = Harvest(pageText, pageUrl, baseUrl);
    const HarvestReport report = WriteWorkingFiles(result, files);
    lists = result.lists;
    return report;
}

HarvestReport RunHarvestUtf8(const QByteArray &pageUtf8, const QString &pageUrl,
                             const WorkingFiles &files, ResultLists &lists, const QString &baseUrl)
{
    harvest::Utf8Lists bytesLists;
    const HarvestReport report = RunHarvestBytes(pageUtf8, pageUrl, files, bytesLists, baseUrl);
    lists = bytesLists.toResultLists();
    return report;
}

HarvestReport RunHarvestBytes(QByteArrayView pageUtf8, const QString &pageUrl,
                              const WorkingFiles &files, harvest::Utf8Lists &lists,
                              const QString &baseUrl)
{
    using namespace harvest;
    HarvestReport report;
    QString why;
    const auto note = [&report, &why](bool ok) {
        if (!ok && report.failure.isEmpty())
            report.failure = why;
    };
    // The scans read the text in memory; each page is streamed into its file
    // as it is made.
    QByteArray converted;
    const QByteArrayView text = ValidUtf8(pageUtf8, &converted);
    lists.clear();
    const qsizetype refused = scanPage(text, pageUrl, baseUrl, lists);
    const qsizetype imageLimit = Limits::forBytes(text.size()).imagePageBytes;
    qsizetype shown = 0;
    bool imagesMade = false;
    SourcePageCuts cuts;
    bool sourceMade = false;
    report.pagesWritten = files.writePair(
        WorkingFiles::ImagePage,
        [&](WorkingFiles::Stream &stream) {
            WriteImagePage(lists, imageLimit, stream, &shown);
            imagesMade = true;
        },
        WorkingFiles::SourcePage,
        [&](WorkingFiles::Stream &stream) {
            WriteSourcePage(text, lists, stream, &cuts);
            sourceMade = true;
        },
        &why);
    note(report.pagesWritten);
    // Pages not written are made only to tell what they would have left out.
    if (!imagesMade || !sourceMade) {
        NullSink nowhere;
        if (!imagesMade)
            WriteImagePage(lists, imageLimit, nowhere, &shown);
        if (!sourceMade)
            WriteSourcePage(text, lists, nowhere, &cuts);
    }
    note(ResetWorkingFiles(files, &why));
    report.notices = noticesOf(refused, cuts, shown, lists.Links[1].size());
    return report;
}

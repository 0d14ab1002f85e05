#include "harvest/Harvest.h"

bool WriteImagePage(const WorkingFiles &files, const ResultLists &lists)
{
    return files.writeReplaceBytes(WorkingFiles::ImagePage, harvest::BuildImagePageBytes(lists));
}

bool ResetWorkingFiles(const WorkingFiles &files, QString *error)
{
    for (const QLatin1StringView name : {WorkingFiles::CheckImages, WorkingFiles::CheckImagesClean,
                                         WorkingFiles::Browser, WorkingFiles::Images}) {
        if (!files.writeReplace(name, QString(), error))
            return false;
    }
    return true;
}

HarvestResult Harvest(const QString &pageText, const QString &pageUrl)
{
    using namespace harvest;
    HarvestResult result;
    const Limits limits = Limits::forPage(pageText);
    ScanBudget budget;
    budget.charsLeft = limits.listChars;
    for (const bool links : {false, true}) {
        // Each scan shortens its own copy of the address to the page's folder.
        QString url = pageUrl;
        ScanText(links, pageText, url, result.lists, &budget);
    }
    SourcePageCuts cuts;
    result.sourcePage = BuildSourcePage(pageText, result.lists, &cuts);
    qsizetype shown = 0;
    result.imagePage = BuildImagePageBytes(result.lists, limits.imagePageBytes, &shown);

    if (budget.refused > 0)
        result.notices.append(
            QStringLiteral("%1 more pictures and links to pictures were not recorded: the "
                           "lists are full for a page of this size.")
                .arg(budget.refused));
    const QString sourceNotice = SourceCutNotice(cuts);
    if (!sourceNotice.isEmpty())
        result.notices.append(sourceNotice);
    const QString imageNotice = ImageCutNotice(shown, result.lists.Links[1].size());
    if (!imageNotice.isEmpty())
        result.notices.append(imageNotice);
    return result;
}

HarvestReport WriteWorkingFiles(const HarvestResult &result, const QString &pageText,
                                const WorkingFiles &files)
{
    using namespace harvest;
    // Each write stands on its own: one that fails leaves the rest to run, and the
    // first failure is what the report tells.
    HarvestReport report;
    report.notices = result.notices;
    QString why;
    const auto note = [&report, &why](bool ok) {
        if (!ok && report.failure.isEmpty())
            report.failure = why;
    };
    note(files.writeReplace(WorkingFiles::CheckImages, pageText, &why));
    // The clean file as each scan makes it: every line with a tag, then the tags.
    for (const bool links : {false, true}) {
        const ScanSpans spans = FindScanSpans(pageText, links);
        note(files.writeReplaceBytes(WorkingFiles::CheckImagesClean, spans.cleanText(false), &why));
        note(files.writeReplaceBytes(WorkingFiles::CheckImagesClean, spans.cleanText(true), &why));
    }
    report.pagesWritten = files.writePair(WorkingFiles::ImagePage, result.imagePage,
                                          WorkingFiles::SourcePage, result.sourcePage, &why);
    note(report.pagesWritten);
    note(ResetWorkingFiles(files, &why));
    return report;
}

HarvestReport RunHarvest(const QString &pageText, const QString &pageUrl, const WorkingFiles &files,
                         ResultLists &lists)
{
    const HarvestResult result = Harvest(pageText, pageUrl);
    const HarvestReport report = WriteWorkingFiles(result, pageText, files);
    lists = result.lists;
    return report;
}

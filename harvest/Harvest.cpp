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

HarvestReport RunHarvest(const QString &pageText, const std::function<QString()> &locationUrl,
                         const WorkingFiles &files, ResultLists &lists)
{
    using namespace harvest;
    // Each step stands on its own: a step that fails leaves the rest to run, and
    // the first failure is what the report tells.
    HarvestReport report;
    QString why;
    const auto note = [&report, &why](bool ok) {
        if (!ok && report.failure.isEmpty())
            report.failure = why;
    };
    note(files.writeReplace(WorkingFiles::CheckImages, pageText, &why));
    lists.clear();

    const Limits limits = Limits::forPage(pageText);
    ScanBudget budget;
    budget.charsLeft = limits.listChars;
    // The scans work on the text in memory; their clean file is written as they
    // make it, and never read back.
    const auto writeClean = [&files, &why, &note](const QByteArray &text) {
        note(files.writeReplaceBytes(WorkingFiles::CheckImagesClean, text, &why));
    };
    for (const bool links : {false, true}) {
        // Read afresh for each scan: the image scan may have shortened its own copy.
        QString url = locationUrl ? locationUrl() : QString();
        ScanText(links, pageText, url, lists, &budget, writeClean);
    }

    SourcePageCuts cuts;
    const QByteArray sourcePage = BuildSourcePage(pageText, lists, &cuts);
    qsizetype shown = 0;
    const QByteArray imagePage = BuildImagePageBytes(lists, limits.imagePageBytes, &shown);
    report.pagesWritten = files.writePair(WorkingFiles::ImagePage, imagePage,
                                          WorkingFiles::SourcePage, sourcePage, &why);
    note(report.pagesWritten);
    note(ResetWorkingFiles(files, &why));

    if (budget.refused > 0)
        report.notices.append(
            QStringLiteral("%1 more pictures and links to pictures were not recorded: the "
                           "lists are full for a page of this size.")
                .arg(budget.refused));
    const QString sourceNotice = SourceCutNotice(cuts);
    if (!sourceNotice.isEmpty())
        report.notices.append(sourceNotice);
    const QString imageNotice = ImageCutNotice(shown, lists.Links[1].size());
    if (!imageNotice.isEmpty())
        report.notices.append(imageNotice);
    return report;
}

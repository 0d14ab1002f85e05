#include "harvest/Harvest.h"

bool WriteImagePage(const WorkingFiles &files, const ResultLists &lists)
{
    return files.writeReplace(WorkingFiles::ImagePage, harvest::BuildImagePage(lists));
}

void ResetWorkingFiles(const WorkingFiles &files)
{
    for (const QLatin1StringView name : {WorkingFiles::CheckImages, WorkingFiles::CheckImagesClean,
                                         WorkingFiles::Browser, WorkingFiles::Images}) {
        if (!files.writeReplace(name, QString()))
            return;
    }
}

void RunHarvest(const QString &pageText, const std::function<QString()> &locationUrl,
                const WorkingFiles &files, ResultLists &lists)
{
    // Each step stands on its own: a step that fails leaves the rest to run.
    files.writeReplace(WorkingFiles::CheckImages, pageText);
    lists.clear();
    {
        QString url = locationUrl ? locationUrl() : QString();
        ScanImageTags(url, files, lists);
    }
    {
        // Read afresh: the image scan may have shortened its own copy.
        QString url = locationUrl ? locationUrl() : QString();
        ScanImageLinks(url, files, lists);
    }
    const QByteArray sourcePage = harvest::BuildSourcePage(pageText, lists);
    WriteImagePage(files, lists);
    files.writeReplaceBytes(WorkingFiles::SourcePage, sourcePage);
    ResetWorkingFiles(files);
}

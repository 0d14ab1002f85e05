// What the main window does with its three views' events, and the harvest
// that rebuilds the Source Code and Images views after the live page loads.
#include "shell/Form1.h"
#include "shell/PageHarvester.h"
#include "shell/PieceLoader.h"

#include "harvest/Harvest.h"
#include "platform/BestEffort.h"
#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "windows/Branding.h"

#include <QLineEdit>
#include <QWebEnginePage>
#include <QWebEngineSettings>

void Form1::wb_StatusTextChange(int, const QString &text)
{
    sb1->setPanelText(1, text);
}

void Form1::wb_ProgressChange(int index, int progress, int progressMax)
{
    if (index != 0 || progressMax == 0)
        return;
    pb1->setMax(static_cast<float>(progressMax));
    if (progress > progressMax || progress < 1)
        pb1->setValueSingle(0.01f);
    else
        pb1->setValueSingle(static_cast<float>(progress));
}

void Form1::wb_DownloadComplete(int index)
{
    // Only the live page's loads start a harvest; the generated pages' own
    // loads must not start another.
    if (index == 0 && !m_unloaded)
        startHarvest();
}

void Form1::wb_TitleChange(int index, const QString &)
{
    if (index != 0)
        return;
    txtUrl->setText(wb[0]->LocationURL());
    setWindowTitle(m_branding.productName + QStringLiteral(" by ") + m_branding.companyName +
                   QStringLiteral(" - ") + wb[0]->LocationName());
}

void Form1::startHarvest()
{
    m_harvester->start();
}

void Form1::sayOverTheViews(const QString &text)
{
    sb1->setPanelText(1, text);
    for (int i : {1, 2}) {
        QMetaObject::Connection &notice = m_viewNotices[size_t(i - 1)];
        disconnect(notice);
        notice = connect(wb[size_t(i)], &WebBrowser::DownloadComplete, this, [this, text, i] {
            sb1->setPanelText(1, text);
            disconnect(m_viewNotices[size_t(i - 1)]);
        });
    }
}

void Form1::finishHarvest(const ResultLists &results, const HarvestReport &report, const QUrl &page)
{
    if (m_unloaded)
        return;
    m_lists = results;
    if (report.pagesWritten) {
        m_harvestedPage = page;
        BestEffort([this] { m_viewLoaders[0]->load(m_files->path(WorkingFiles::SourcePage)); });
        BestEffort([this] {
            // Text first, pictures after: the view turns them on again when
            // its page has loaded.
            wb[2]->page()->settings()->setAttribute(QWebEngineSettings::AutoLoadImages, false);
            m_viewLoaders[1]->load(m_files->path(WorkingFiles::ImagePage));
        });
    }
    if (!report.failure.isEmpty()) {
        // Said once the views are quiet, so that their own words do not cover it;
        // when the pages were not written the views keep what they showed.
        const QString text = tr("Could not write %1/%2").arg(m_files->folder(), report.failure);
        if (report.pagesWritten)
            sayOverTheViews(text);
        else
            sb1->setPanelText(1, text);
    }
    ++m_harvestsDone;
    emit harvestFinished();
}

// What the main window does with its views' events, and the harvest that
// rebuilds the Source Code and Images views after the live page loads.
#include "shell/Form1.h"
#include "shell/GeneratedViews.h"
#include "shell/PageHarvester.h"

#include "harvest/Harvest.h"
#include "platform/BestEffort.h"
#include "platform/PageGuard.h"
#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "windows/Branding.h"
#include "windows/PageInfoWindow.h"

#include <QLineEdit>

void Form1::wb_StatusTextChange(const QString &text)
{
    sb1->setPanelText(1, text);
}

void Form1::wb_ProgressChange(int progress, int progressMax)
{
    if (progressMax == 0)
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
    if (index != 0 || m_unloaded)
        return;
    if (!m_sayAfterLoad.isEmpty()) {
        // Said over the load's own "Done".
        sb1->setPanelText(1, m_sayAfterLoad);
        m_sayAfterLoad.clear();
    }
    const PageGuard *guard = wb[0]->guard();
    if (guard->outcome().failed()) {
        pageNotOpened(guard->outcome().words);
        return;
    }
    // A page of ours that still shows (a load from it was stopped) is not
    // the page's: nothing to harvest.
    if (guard->ownPageShows())
        return;
    m_notOpened.clear();
    startHarvest();
    if (m_pageInfo)
        refreshPageInfo();
}

void Form1::pageNotOpened(const QString &text)
{
    m_notOpened = text;
    m_generated->showFailure(text);
    if (m_pageInfo)
        m_pageInfo->setNotice(text);
}

void Form1::wb_TitleChange(const QString &text)
{
    // The program's name alone until the view that shows has a page.
    const QString name = m_branding.productName + QStringLiteral(" by ") + m_branding.companyName;
    setWindowTitle(text.isEmpty() ? name : name + QStringLiteral(" - ") + text);
}

void Form1::sayOverTheLoad(const QString &text)
{
    sb1->setPanelText(1, text);
    m_sayAfterLoad = text;
}

void Form1::startHarvest()
{
    m_harvester->start();
}

void Form1::showHarvest(const ResultLists &results, const ViewPages &pages)
{
    if (m_unloaded)
        return;
    m_lists = results;
    BestEffort([this, &pages] { m_generated->show(pages); });
}

void Form1::finishHarvest(const HarvestReport &report)
{
    if (m_unloaded)
        return;
    // The views show the harvest whether or not its files could be written.
    if (!report.failure.isEmpty())
        sb1->setPanelText(1, tr("Could not write %1/%2").arg(m_files->folder(), report.failure));
    ++m_harvestsDone;
    emit harvestFinished();
}

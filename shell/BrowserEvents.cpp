// What the main window does with its three views' events, and the harvest
// that rebuilds the Source Code and Images views after the live page loads.
#include "shell/Form1.h"

#include "harvest/Harvest.h"
#include "platform/BestEffort.h"
#include "platform/ProgressBar.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "windows/Branding.h"

#include <QLineEdit>

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
        HarvestPage();
}

void Form1::wb_TitleChange(int index, const QString &)
{
    if (index != 0)
        return;
    txtUrl->setText(wb[0]->LocationURL());
    setWindowTitle(BrandProductName + QStringLiteral(" by ") + BrandCompanyName +
                   QStringLiteral(" - ") + wb[0]->LocationName());
}

bool Form1::HarvestPage()
{
    // The body's markup arrives later; the harvest starts when it does.
    QPointer<Form1> self(this);
    wb[0]->bodyOuterHtml([self](const WebBrowser::BodyText &body) {
        if (self && !self->m_unloaded && body.valid)
            self->queueHarvest(body);
    });
    return true;
}

void Form1::queueHarvest(const WebBrowser::BodyText &body)
{
    m_waitingHarvest = body;
    // The markup is resolved against the address of the document it came from,
    // even when the view has moved on since it was asked for.
    if (m_waitingHarvest->address.isEmpty())
        m_waitingHarvest->address = wb[0]->LocationURL();
    if (!m_harvestRunning)
        runNextHarvest();
}

void Form1::runNextHarvest()
{
    if (!m_waitingHarvest || m_unloaded)
        return;
    m_harvestRunning = true;
    WebBrowser::BodyText body = std::move(*m_waitingHarvest);
    m_waitingHarvest.reset();
    const WorkingFiles files = *m_files;
    const std::shared_ptr<std::atomic_bool> stopped = m_harvestsStopped;
    m_harvestPool.start([this, body = std::move(body), files, stopped] {
        if (*stopped)
            return;
        // The engine writes lone LFs; the harvest reads lines that end in CR LF.
        const QString text = WebBrowser::withCrLf(body.text);
        const QString address = body.address;
        ResultLists results;
        const HarvestReport report = RunHarvest(
            text, [&address] { return address; }, files, results);
        // The window waits for this thread before it goes, so it is still here;
        // the call is dropped if it goes before the call is delivered.
        QMetaObject::invokeMethod(
            this, [this, results, report] { finishHarvest(results, report); },
            Qt::QueuedConnection);
    });
}

void Form1::finishHarvest(const ResultLists &results, const HarvestReport &report)
{
    m_harvestRunning = false;
    if (m_unloaded)
        return;
    lists = results;
    if (report.pagesWritten) {
        BestEffort([this] { wb[1]->Navigate2(m_files->path(WorkingFiles::SourcePage)); });
        BestEffort([this] { wb[2]->Navigate2(m_files->path(WorkingFiles::ImagePage)); });
    }
    if (!report.failure.isEmpty()) {
        // Said once the views are quiet, so that their own words do not cover it;
        // when the pages were not written the views keep what they showed.
        const QString text = tr("Could not write %1/%2").arg(m_files->folder(), report.failure);
        sb1->setPanelText(1, text);
        disconnect(m_harvestNotice);
        if (report.pagesWritten) {
            m_harvestNotice = connect(wb[2], &WebBrowser::DownloadComplete, this, [this, text] {
                sb1->setPanelText(1, text);
                disconnect(m_harvestNotice);
            });
        }
    }
    ++m_harvestsDone;
    emit harvestFinished();
    runNextHarvest();
}

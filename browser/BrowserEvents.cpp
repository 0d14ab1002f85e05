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
    // The body's markup arrives later; the harvest runs in full when it does.
    QPointer<Form1> self(this);
    wb[0]->bodyOuterHtml([self](const WebBrowser::BodyText &body) {
        if (self && !self->m_unloaded && body.valid)
            self->finishHarvest(body);
    });
    return true;
}

void Form1::finishHarvest(const WebBrowser::BodyText &body)
{
    // The markup is resolved against the address of the document it came
    // from, even when the view has moved on since it was asked for.
    auto location = [this, &body] {
        return body.address.isEmpty() ? wb[0]->LocationURL() : body.address;
    };
    BestEffort([this, &body, &location] { RunHarvest(body.text, location, *m_files, lists); });
    BestEffort([this] { wb[1]->Navigate2(m_files->path(QStringLiteral("source.htm"))); });
    BestEffort([this] { wb[2]->Navigate2(m_files->path(QStringLiteral("imagepage.html"))); });
    ++m_harvestsDone;
    emit harvestFinished();
}

// The history of the pages visited in the Browser view: kept as they load,
// offered under the address box, listed in the History window, and cleared.
#include "shell/Form1.h"

#include "platform/History.h"
#include "platform/StatusBar.h"
#include "platform/WebBrowser.h"
#include "shell/AddressCompleter.h"
#include "shell/HistoryRecorder.h"
#include "shell/HistoryWindow.h"
#include "windows/WindowPlacement.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QWebEngineProfile>

void Form1::setUpHistory()
{
    // A window that keeps nothing on disk keeps its history in memory only.
    m_history = new History(m_profile->isOffTheRecord() ? QString() : History::defaultFile(), this);
    // The live view's pages, but not the harvest's own pages that Send to
    // Browser shows there, nor the start page.
    new HistoryRecorder(
        wb[0], m_history,
        [](const QUrl &url) {
            return isGeneratedPage(url) || url == QUrl::fromLocalFile(WebBrowser::homePagePath());
        },
        this);
    m_addressCompleter = new AddressCompleter(m_history, txtUrl);
    connect(m_addressCompleter, &AddressCompleter::accepted, this, [this] { txtUrl_KeyPress(13); });
}

HistoryWindow *Form1::historyWindow() const
{
    return m_historyWindow;
}

void Form1::showHistory()
{
    if (!m_historyWindow) {
        m_historyWindow = new HistoryWindow(m_history, this);
        connect(m_historyWindow, &HistoryWindow::openRequested, this, [this](const QUrl &address) {
            SelectView(View::Live);
            if (!wb[0]->open(address))
                return;
            txtUrl->setText(address.toString());
            // The page takes the keys, as after Enter in the address box.
            activateWindow();
            wb[0]->setFocus(Qt::OtherFocusReason);
        });
        CentreOverOwner(m_historyWindow, this);
    }
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void Form1::clearHistory()
{
    QMessageBox question(QMessageBox::Question, tr("Clear History"),
                         tr("Forget every page visited?"), QMessageBox::Yes | QMessageBox::No,
                         this);
    question.setInformativeText(
        tr("The address box will offer none of them, and the History window will be empty."));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return;
    const bool cleared = m_history->clear();
    // The engine's record of visited links goes too.
    m_profile->clearAllVisitedLinks();
    sb1->setPanelText(1, cleared ? tr("History cleared") : tr("Could not clear the history"));
}

#pragma once

#include "harvest/Harvest.h"
#include "harvest/WorkingFiles.h"
#include "platform/WebBrowser.h"
#include "shell/GeneratedViews.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>

// Runs the harvest for a browser view: asks the view for its body markup, the
// address of its document and the document's base address, harvests it off the
// window's thread, hands the views' pages over and then writes the working
// files. Harvests run one at a time: the newest page text waits for the running
// one and replaces any older text still waiting.
class PageHarvester : public QObject {
    Q_OBJECT
public:
    PageHarvester(WebBrowser *view, const WorkingFiles &files, QObject *parent = nullptr);
    // Waits for a harvest that is writing its files.
    ~PageHarvester() override;

    // Starts a harvest of what the view holds now.
    void start();
    // No harvest starts from now on; one that is writing its files finishes.
    void stop();

    const WorkingFiles &files() const { return m_files; }

    // The text in UTF-8 with every line break, however written, as CR LF:
    // what WebBrowser::withCrLf() makes of it, in one pass over the bytes.
    static QByteArray utf8WithCrLf(const QString &text);

signals:
    // A harvest's lists and the views' pages are made; its files are being
    // written. `page` is the address of the document that was harvested.
    void harvested(const ResultLists &lists, const ViewPages &pages);
    // The same harvest's working files are written.
    void finished(const HarvestReport &report);

private:
    void queue(const WebBrowser::BodyText &body);
    void runNext();
    void deliver(const HarvestReport &report);

    QPointer<WebBrowser> m_view;
    WorkingFiles m_files;
    QThreadPool m_pool;
    std::optional<WebBrowser::BodyText> m_waiting;
    bool m_running = false;
    bool m_stopped = false;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
};

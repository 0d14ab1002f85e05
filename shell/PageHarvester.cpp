#include "shell/PageHarvester.h"

#include <cstring>

QByteArray PageHarvester::utf8WithCrLf(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    const qsizetype breaks = utf8.count('\n') + utf8.count('\r');
    if (breaks == 0)
        return utf8;
    QByteArray out;
    out.resize(utf8.size() + breaks);
    const char *from = utf8.constData();
    const char *const end = from + utf8.size();
    char *to = out.data();
    // The next LF is looked for again only once it is passed, so that a line
    // of many CRs is read once.
    const char *lf = nullptr;
    while (from < end) {
        if (!lf || lf < from) {
            lf = static_cast<const char *>(std::memchr(from, '\n', size_t(end - from)));
            if (!lf)
                lf = end;
        }
        const char *cr = static_cast<const char *>(std::memchr(from, '\r', size_t(lf - from)));
        const char *const next = cr ? cr : lf;
        std::memcpy(to, from, size_t(next - from));
        to += next - from;
        from = next;
        if (from == end)
            break;
        // CR LF, a lone CR and a lone LF are each one break.
        if (*from == '\r' && from + 1 < end && from[1] == '\n')
            ++from;
        ++from;
        *to++ = '\r';
        *to++ = '\n';
    }
    out.resize(to - out.constData());
    return out;
}

PageHarvester::PageHarvester(WebBrowser *view, const WorkingFiles &files, QObject *parent)
    : QObject(parent), m_view(view), m_files(files)
{
    // Harvests share the working files: one at a time.
    m_pool.setMaxThreadCount(1);
}

PageHarvester::~PageHarvester()
{
    stop();
    m_pool.waitForDone();
}

void PageHarvester::start()
{
    if (m_stopped || !m_view)
        return;
    // The body's markup arrives later; the harvest starts when it does.
    QPointer<PageHarvester> self(this);
    m_view->bodyOuterHtml([self](const WebBrowser::BodyText &body) {
        // The document the engine makes for a load that failed (and the page
        // of ours written over it) is not the page's: nothing to harvest.
        if (self && body.valid && !body.address.startsWith(QLatin1String("chrome-error:")))
            self->queue(body);
    });
}

void PageHarvester::stop()
{
    m_stopped = true;
    *m_cancelled = true;
    m_waiting.reset();
}

void PageHarvester::queue(const WebBrowser::BodyText &body)
{
    if (m_stopped)
        return;
    m_waiting = body;
    // The markup is resolved against the address of the document it came from,
    // even when the view has moved on since it was asked for.
    if (m_waiting->address.isEmpty() && m_view)
        m_waiting->address = m_view->LocationURL();
    if (!m_running)
        runNext();
}

void PageHarvester::runNext()
{
    if (!m_waiting || m_stopped)
        return;
    m_running = true;
    WebBrowser::BodyText body = std::move(*m_waiting);
    m_waiting.reset();
    m_pool.start([this, body = std::move(body), files = m_files, cancelled = m_cancelled] {
        if (*cancelled)
            return;
        // The engine writes lone LFs; the harvest reads lines that end in CR LF.
        const QByteArray text = utf8WithCrLf(body.text);
        // Relative references resolve against the document's base address.
        const QUrl page(body.address);
        const HarvestViews heads = GeneratedViews::headsFor(page);
        HarvestResult result = HarvestBytes(text, body.address, body.base, &heads);
        // The views need not wait for the files: they show the pages from
        // memory while the files are written.
        ViewPages pages = GeneratedViews::pagesFor(result, page);
        pages.markup = body.text;
        // The harvester waits for this thread before it goes, so it is still
        // here; a call is dropped if it goes before the call is delivered.
        QMetaObject::invokeMethod(
            this,
            [this, lists = result.lists, pages = std::move(pages)] {
                if (!m_stopped)
                    emit harvested(lists, pages);
            },
            Qt::QueuedConnection);
        const HarvestReport report = WriteWorkingFiles(result, files);
        QMetaObject::invokeMethod(
            this, [this, report] { deliver(report); }, Qt::QueuedConnection);
    });
}

void PageHarvester::deliver(const HarvestReport &report)
{
    m_running = false;
    if (m_stopped)
        return;
    emit finished(report);
    runNext();
}

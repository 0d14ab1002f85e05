#pragma once

#include <QWebEngineUrlRequestInterceptor>

#include <atomic>

// A request interceptor that lets nothing be fetched but the first document a
// SavedPage writes a page's text into, which the engine makes from a data:
// address: no picture, style sheet, frame, script or beacon of the page.
class FetchNothing : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    // The requests refused so far.
    int refused() const { return m_refused; }

private:
    std::atomic_int m_refused{0};
};

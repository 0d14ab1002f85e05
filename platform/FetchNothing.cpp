#include "platform/FetchNothing.h"

void FetchNothing::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const bool refuse = info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
                        info.requestUrl().scheme() != QLatin1String("data");
    if (refuse)
        ++m_refused;
    info.block(refuse);
}

#include "platform/PicturePlaces.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace {

// Runs one request and reads its answer; an empty object when none came.
void ask(QWebEnginePage *page, const QJsonObject &request,
         const std::function<void(const QJsonObject &, bool answered)> &callback)
{
    const QString source = PicturePlaces::script(
        QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
    if (!page || source.isEmpty()) {
        callback({}, false);
        return;
    }
    QPointer<QWebEnginePage> guard(page);
    page->runJavaScript(
        source, QWebEngineScript::ApplicationWorld, [guard, callback](const QVariant &result) {
            if (!guard || result.typeId() != QMetaType::QString) {
                callback({}, false);
                return;
            }
            const QJsonDocument answer = QJsonDocument::fromJson(result.toString().toUtf8());
            callback(answer.object(), answer.isObject());
        });
}

QRectF boxOf(const QJsonValue &value)
{
    const QJsonArray box = value.toArray();
    if (box.size() != 4)
        return {};
    return QRectF(box.at(0).toDouble(), box.at(1).toDouble(), box.at(2).toDouble(),
                  box.at(3).toDouble());
}

} // namespace

QString PicturePlaces::script(const QString &requestJson)
{
    static const QString text = [] {
        QFile file(QStringLiteral(":/app/inventory/place.js"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    }();
    if (text.isEmpty())
        return text;
    return text + QLatin1Char('(') + requestJson + QLatin1Char(')');
}

void PicturePlaces::show(QWebEnginePage *page, const QStringList &addresses, bool styled,
                         const std::function<void(const PicturePlace &)> &callback)
{
    const QJsonObject request{{QStringLiteral("op"), QStringLiteral("show")},
                              {QStringLiteral("addresses"), QJsonArray::fromStringList(addresses)},
                              {QStringLiteral("styles"), styled}};
    ask(page, request, [callback](const QJsonObject &answer, bool answered) {
        PicturePlace place;
        if (answered) {
            place.element = answer.value(QLatin1String("element")).toString();
            place.kind = answer.value(QLatin1String("kind")).toString();
            place.box = boxOf(answer.value(QLatin1String("box")));
            place.found =
                !answer.value(QLatin1String("found")).toBool()  ? PicturePlace::Found::Nowhere
                : answer.value(QLatin1String("shown")).toBool() ? PicturePlace::Found::Shown
                                                                : PicturePlace::Found::NoBox;
        }
        callback(place);
    });
}

void PicturePlaces::measure(QWebEnginePage *page,
                            const std::function<void(const QRectF &)> &callback)
{
    ask(page, QJsonObject{{QStringLiteral("op"), QStringLiteral("measure")}},
        [callback](const QJsonObject &answer, bool) {
            callback(boxOf(answer.value(QLatin1String("box"))));
        });
}

void PicturePlaces::findInMarkup(QWebEnginePage *page, const QStringList &addresses, bool styled,
                                 const std::function<void(const MarkupPlace &)> &callback)
{
    const QJsonObject request{{QStringLiteral("op"), QStringLiteral("markup")},
                              {QStringLiteral("addresses"), QJsonArray::fromStringList(addresses)},
                              {QStringLiteral("styles"), styled}};
    const QString source =
        script(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
    if (!page || source.isEmpty()) {
        callback({});
        return;
    }
    QPointer<QWebEnginePage> guard(page);
    page->runJavaScript(source, QWebEngineScript::ApplicationWorld,
                        [guard, callback](const QVariant &result) {
                            const QVariantList parts = result.toList();
                            MarkupPlace place;
                            const QJsonDocument document =
                                QJsonDocument::fromJson(parts.value(0).toString().toUtf8());
                            if (!guard || !document.isObject()) {
                                callback(place);
                                return;
                            }
                            const QJsonObject answer = document.object();
                            place.answered = true;
                            place.found = answer.value(QLatin1String("found")).toBool();
                            place.inBody = answer.value(QLatin1String("inBody")).toBool();
                            place.element = answer.value(QLatin1String("element")).toString();
                            place.kind = answer.value(QLatin1String("kind")).toString();
                            place.holder = answer.value(QLatin1String("holder")).toString();
                            place.through = answer.value(QLatin1String("through")).toString();
                            if (parts.size() == 3) {
                                place.before = parts.at(1).toString();
                                place.startTag = parts.at(2).toString();
                            }
                            callback(place);
                        });
}

void PicturePlaces::picturesAt(QWebEnginePage *page, const QPointF &point,
                               const std::function<void(const QStringList &)> &callback)
{
    const QJsonObject request{{QStringLiteral("op"), QStringLiteral("at")},
                              {QStringLiteral("x"), point.x()},
                              {QStringLiteral("y"), point.y()}};
    ask(page, request, [callback](const QJsonObject &answer, bool) {
        QStringList addresses;
        for (const QJsonValue &address : answer.value(QLatin1String("addresses")).toArray())
            addresses.append(address.toString());
        callback(addresses);
    });
}

int PicturePlaces::lineAt(QStringView text, qsizetype offset)
{
    int line = 1;
    const qsizetype end = qMin(offset, text.size());
    for (qsizetype i = 0; i < end; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n')) {
            ++line;
        } else if (c == QLatin1Char('\r')) {
            ++line;
            if (i + 1 < end && text[i + 1] == QLatin1Char('\n'))
                ++i;
        }
    }
    return line;
}

int MarkupPlace::lineIn(QStringView markup) const
{
    if (!found || !inBody || startTag.isEmpty() || !markup.startsWith(before) ||
        !markup.sliced(before.size()).startsWith(startTag))
        return 0;
    return PicturePlaces::lineAt(markup, before.size());
}

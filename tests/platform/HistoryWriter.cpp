// Writes visits into a history file as fast as it can, for ever, and says on
// standard output the serial number of each visit once it is stored. The
// crash test kills it at some moment and reads what it left.
//   history_writer FILE LIMIT
#include "platform/History.h"

#include <QCoreApplication>
#include <QUrl>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    History history(QString::fromLocal8Bit(argv[1]));
    if (!history.isOpen())
        return 1;
    history.setVisitLimit(QByteArray(argv[2]).toInt());
    // Long titles make each transaction span several pages of the file.
    const QString padding(3000, QLatin1Char('x'));
    for (qint64 serial = 1;; ++serial) {
        // Every other visit goes back to one of a few pages, so that pages
        // are both added and counted up, and trimmed both ways.
        const QUrl url =
            serial % 2 ? QUrl(QStringLiteral("http://example.test/page/%1").arg(serial))
                       : QUrl(QStringLiteral("http://example.test/often/%1").arg(serial % 14));
        const QString title = QStringLiteral("visit %1 ").arg(serial) + padding;
        if (!history.addVisit(url, title))
            return 1;
        std::printf("%lld\n", static_cast<long long>(serial));
        std::fflush(stdout);
    }
}

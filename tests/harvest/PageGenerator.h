#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// Random pages built from the pieces the harvest reacts to: image tags and anchors
// in every spelling, quoted and unquoted values of every kind of address, line
// breaks of every kind, escapes, repeated and overlapping file names.
class PageGenerator {
public:
    explicit PageGenerator(quint32 seed) : m_random(seed) {}

    QString page(int pieces);
    QString pageUrl();

private:
    QString pick(const QStringList &choices);
    QString value();
    QString quoted(const QString &value);

    QRandomGenerator m_random;
};

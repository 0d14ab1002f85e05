#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The common open-file dialog: no filter, no title of its own; it remembers
// the last file chosen and starts there.
class CommonDialog : public QObject {
    Q_OBJECT
public:
    explicit CommonDialog(QObject *parent = nullptr);

    // Shows the dialog. True when the user chose a file (FileName then holds
    // it); false when cancelled (FileName keeps its earlier value).
    bool ShowOpen(QWidget *owner);
    QString FileName;
};

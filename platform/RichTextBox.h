#pragma once

#include <QByteArray>
#include <QString>
#include <QTextEdit>

// The rich-text box: a read-only text view that shows an RTF document.
// Assigning a file name loads that file and replaces the content; a file that
// cannot be read leaves the content as it was.
class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget *parent = nullptr);

    QString FileName() const { return m_fileName; }
    // Loads the file; false (content and file name unchanged) when it cannot
    // be read.
    bool setFileName(const QString &path);

    // Replaces the content with an RTF document given as text.
    void setTextRTF(const QByteArray &rtf);

    // The content a new box starts with.
    static QByteArray initialRtf();

private:
    QString m_fileName;
};

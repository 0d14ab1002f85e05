#include "platform/RichTextBox.h"

#include "platform/RichText.h"

#include <QFile>
#include <QTextDocument>

RichTextBox::RichTextBox(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setAcceptRichText(true);
    // Text can be selected and copied; no caret blinks in a view that cannot be edited.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    setTextRTF(initialRtf());
}

QByteArray RichTextBox::initialRtf()
{
    return QByteArrayLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 MS "
                             "Sans Serif;}}\r\n\\viewkind4\\uc1\\pard\\lang1033\\f0\\fs17 "
                             "RichTextBox1\\par\r\n}\r\n");
}

bool RichTextBox::setFileName(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    RichText::read(file.readAll(), document());
    m_fileName = path;
    moveCursor(QTextCursor::Start);
    return true;
}

void RichTextBox::setTextRTF(const QByteArray &rtf)
{
    RichText::read(rtf, document());
    moveCursor(QTextCursor::Start);
}

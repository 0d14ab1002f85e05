#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

// The per-user store of text values addressed by application, section and key.
QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue);
void SaveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value);

// How the Page Info window's save dialog was set last.
struct PictureSaving {
    bool zip = false;
    QString folder; // empty: the user's download folder
    QString pattern = QStringLiteral("{name}.{ext}");
    bool keepFolders = false;
    bool largestVariant = false;
    bool fromPage = true;
    bool manifest = true;
};

// The settings Quarrow keeps, each declared once with its place, type and default.
// They live under the product name, as every value of the store does.
class Settings {
public:
    explicit Settings(const QString &productName) : m_product(productName) {}

    // "Settings"/"showHelp": the help window's "Show at Startup" box, stored as
    // decimal text: 0 clear, 1 ticked, 2 grey; 1 when nothing is stored. The raw
    // text comes back: a stored text that is not such a number is the reader's
    // to judge.
    QString showHelpText() const;
    void setShowHelp(int value);

    // The main window's size, place and maximised state (QWidget::saveGeometry),
    // kept in a file of its own beside the settings; empty before the first close.
    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray &geometry);

    // The Page Info window: its size and place, the Media table's column
    // widths and order (QHeaderView::saveState), the place of the divider
    // before the preview (QSplitter::saveState), and whether the media show as
    // a grid. Empty or false before the window first closes.
    QByteArray pageInfoGeometry() const;
    void setPageInfoGeometry(const QByteArray &geometry);
    QByteArray pageInfoColumns() const;
    void setPageInfoColumns(const QByteArray &state);
    QByteArray pageInfoDivider() const;
    void setPageInfoDivider(const QByteArray &state);
    bool pageInfoGrid() const;
    void setPageInfoGrid(bool grid);
    // The page source window's size, as "WIDTHxHEIGHT"; an empty size before
    // the window first closes, or when what is stored is not a size.
    QSize pageSourceSize() const;
    void setPageSourceSize(const QSize &size);
    // The save dialog's choices ("SavePictures/..."), the defaults above until
    // it is first used.
    PictureSaving pictureSaving() const;
    void setPictureSaving(const PictureSaving &saving);
    // Whether the Source Code view wraps long lines (it does unless told not to).
    bool wrapLongLines() const;
    void setWrapLongLines(bool wrap);

private:
    QByteArray windowValue(const QString &key) const;
    void setWindowValue(const QString &key, const QVariant &value);

    QString m_product;
};

#pragma once

#include "windows/NamePattern.h"
#include "windows/SaveOptions.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

// How to save the pictures of Save All or Save Selected: into a folder or one
// ZIP file, under names of a pattern (with a preview of the first names),
// keeping the addresses' folders or not, only the largest variant of each
// picture, from what the page has, with a manifest. It opens as it was last
// set (the product's settings), and keeps what it is set to when the user
// saves.
class SavePicturesDialog : public QDialog {
    Q_OBJECT
public:
    // `first` and `firstLargest` are the first pictures of the save as they
    // are saved without and with only the largest variant; `count` how many
    // pictures are saved; `zipName` the ZIP file's name to offer.
    SavePicturesDialog(const QString &productName, const QString &caption,
                       const QList<NameFields> &first, const QList<NameFields> &firstLargest,
                       int count, const QString &zipName, QWidget *parent = nullptr);

    SaveOptions options() const;
    // The names the preview shows.
    QStringList previewNames() const;
    static constexpr int previewCount = 6;
    // A ZIP file's name made safe, ending in ".zip".
    static QString zipFileName(const QString &raw);
    // The pattern offered first.
    static const QStringList &patterns();

    void accept() override;

private:
    void update();
    void chooseFolder();

    QString m_product;
    QList<NameFields> m_first;
    QList<NameFields> m_firstLargest;
    QRadioButton *m_intoFolder = nullptr;
    QRadioButton *m_intoZip = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_browse = nullptr;
    QLabel *m_zipLabel = nullptr;
    QLineEdit *m_zipName = nullptr;
    QComboBox *m_pattern = nullptr;
    QLabel *m_fields = nullptr;
    QCheckBox *m_keepFolders = nullptr;
    QCheckBox *m_largest = nullptr;
    QCheckBox *m_fromPage = nullptr;
    QCheckBox *m_manifest = nullptr;
    QLabel *m_previewLabel = nullptr;
    QListWidget *m_preview = nullptr;
    QLabel *m_problem = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
};

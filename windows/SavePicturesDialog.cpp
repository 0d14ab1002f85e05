#include "windows/SavePicturesDialog.h"

#include "platform/SettingsStore.h"
#include "windows/FileUtils.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

const QStringList &SavePicturesDialog::patterns()
{
    static const QStringList list = {
        QStringLiteral("{name}.{ext}"),
        QStringLiteral("{n} {name}.{ext}"),
        QStringLiteral("{n} {alt}.{ext}"),
        QStringLiteral("{host} {n}.{ext}"),
        QStringLiteral("{n} {width}x{height}.{ext}"),
        QStringLiteral("{type}/{name}.{ext}"),
    };
    return list;
}

QString SavePicturesDialog::zipFileName(const QString &raw)
{
    QString name = raw.trimmed();
    if (!name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        name += QStringLiteral(".zip");
    return SafeFileName(name, QString());
}

SavePicturesDialog::SavePicturesDialog(const QString &productName, const QString &caption,
                                       const QList<NameFields> &first,
                                       const QList<NameFields> &firstLargest, int count,
                                       const QString &zipName, QWidget *parent)
    : QDialog(parent), m_product(productName), m_first(first), m_firstLargest(firstLargest)
{
    setObjectName(QStringLiteral("SavePicturesDialog"));
    setWindowTitle(caption);
    const PictureSaving last = Settings(productName).pictureSaving();

    m_intoFolder = new QRadioButton(tr("Separate &files"), this);
    m_intoFolder->setObjectName(QStringLiteral("saveIntoFolder"));
    m_intoZip = new QRadioButton(tr("One &ZIP file"), this);
    m_intoZip->setObjectName(QStringLiteral("saveIntoZip"));
    auto *group = new QButtonGroup(this);
    group->addButton(m_intoFolder);
    group->addButton(m_intoZip);
    (last.zip ? m_intoZip : m_intoFolder)->setChecked(true);
    auto *into = new QHBoxLayout;
    into->addWidget(m_intoFolder);
    into->addWidget(m_intoZip);
    into->addStretch(1);

    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("saveFolder"));
    m_folder->setText(QDir::toNativeSeparators(
        last.folder.isEmpty() || !QFileInfo(last.folder).isDir()
            ? QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)
            : last.folder));
    m_browse = new QPushButton(tr("&Browse\u2026"), this);
    m_browse->setObjectName(QStringLiteral("saveBrowse"));
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);

    m_zipName = new QLineEdit(zipFileName(zipName), this);
    m_zipName->setObjectName(QStringLiteral("saveZipName"));

    m_pattern = new QComboBox(this);
    m_pattern->setObjectName(QStringLiteral("savePattern"));
    m_pattern->setEditable(true);
    m_pattern->setInsertPolicy(QComboBox::NoInsert);
    // A pattern is typed as it is: completing it to a preset would take the Enter key.
    m_pattern->setCompleter(nullptr);
    m_pattern->addItems(patterns());
    m_pattern->setCurrentText(last.pattern);
    m_pattern->setMinimumContentsLength(28);
    m_fields = new QLabel(this);
    m_fields->setObjectName(QStringLiteral("saveFields"));
    m_fields->setTextFormat(Qt::PlainText);
    m_fields->setWordWrap(true);
    m_fields->setText(tr("Fields: {n} page order, {name}, {ext}, {host}, {path}, {alt}, "
                         "{width}, {height}, {type}. A \"/\" makes a folder."));
    m_fields->setForegroundRole(QPalette::PlaceholderText);

    m_keepFolders = new QCheckBox(tr("&Keep the address's folders (host/path/name)"), this);
    m_keepFolders->setObjectName(QStringLiteral("saveKeepFolders"));
    m_keepFolders->setChecked(last.keepFolders);
    m_largest = new QCheckBox(tr("Only the &largest variant of each picture"), this);
    m_largest->setObjectName(QStringLiteral("saveLargest"));
    m_largest->setToolTip(tr("Of a picture's srcset and <source> candidates, save only the "
                             "widest the page offers"));
    m_largest->setChecked(last.largestVariant);
    m_fromPage =
        new QCheckBox(tr("Save what the page already &has, without downloading again"), this);
    m_fromPage->setObjectName(QStringLiteral("saveFromPage"));
    m_fromPage->setToolTip(tr("Pictures the page has shown come from the page itself; the "
                              "others are downloaded"));
    m_fromPage->setChecked(last.fromPage);
    m_manifest = new QCheckBox(tr("Write &manifest.json beside the pictures"), this);
    m_manifest->setObjectName(QStringLiteral("saveManifest"));
    m_manifest->setToolTip(tr("Each picture's addresses, type, size, SHA-256, dimensions, "
                              "alt text and kinds"));
    m_manifest->setChecked(last.manifest);

    m_preview = new QListWidget(this);
    m_preview->setObjectName(QStringLiteral("savePreview"));
    m_preview->setFocusPolicy(Qt::NoFocus);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    const int lines = m_preview->fontMetrics().lineSpacing() * (previewCount + 1) + 8;
    m_preview->setMinimumHeight(lines);
    m_preview->setMaximumHeight(lines + 24);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("saveProblem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setStyleSheet(QStringLiteral("color:#a00000"));
    m_problem->hide();

    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(tr("Save as:"), into);
    auto *folderLabel = new QLabel(tr("F&older:"), this);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    m_zipLabel = new QLabel(tr("Z&IP file name:"), this);
    m_zipLabel->setBuddy(m_zipName);
    form->addRow(m_zipLabel, m_zipName);
    auto *patternLabel = new QLabel(tr("File &names:"), this);
    patternLabel->setBuddy(m_pattern);
    form->addRow(patternLabel, m_pattern);
    form->addRow(QString(), m_fields);
    form->addRow(QString(), m_keepFolders);
    form->addRow(QString(), m_largest);
    form->addRow(QString(), m_fromPage);
    form->addRow(QString(), m_manifest);
    m_previewLabel = new QLabel(this);
    m_previewLabel->setObjectName(QStringLiteral("savePreviewLabel"));
    m_previewLabel->setTextFormat(Qt::PlainText);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_previewLabel);
    layout->addWidget(m_preview);
    layout->addWidget(m_problem);
    layout->addWidget(m_buttons);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_browse, &QPushButton::clicked, this, &SavePicturesDialog::chooseFolder);
    for (QAbstractButton *box : std::initializer_list<QAbstractButton *>{
             m_intoFolder, m_intoZip, m_keepFolders, m_largest, m_fromPage, m_manifest})
        connect(box, &QAbstractButton::toggled, this, &SavePicturesDialog::update);
    connect(m_pattern, &QComboBox::currentTextChanged, this, &SavePicturesDialog::update);
    connect(m_folder, &QLineEdit::textChanged, this, &SavePicturesDialog::update);
    connect(m_zipName, &QLineEdit::textChanged, this, &SavePicturesDialog::update);
    const QList<QWidget *> order = {m_intoFolder, m_intoZip,  m_folder,      m_browse,
                                    m_zipName,    m_pattern,  m_keepFolders, m_largest,
                                    m_fromPage,   m_manifest, m_buttons};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    m_previewLabel->setProperty("count", count);
    update();
    m_buttons->button(QDialogButtonBox::Save)->setDefault(true);
    m_pattern->setFocus();
    resize(sizeHint().expandedTo(QSize(560, 0)));
}

SaveOptions SavePicturesDialog::options() const
{
    SaveOptions options;
    options.into = m_intoZip->isChecked() ? SaveOptions::Into::Zip : SaveOptions::Into::Folder;
    options.folder = QDir::fromNativeSeparators(m_folder->text().trimmed());
    options.zipName = zipFileName(m_zipName->text());
    options.pattern = m_pattern->currentText().trimmed();
    options.keepFolders = m_keepFolders->isChecked();
    options.largestVariant = m_largest->isChecked();
    options.fromPage = m_fromPage->isChecked();
    options.manifest = m_manifest->isChecked();
    return options;
}

QStringList SavePicturesDialog::previewNames() const
{
    QStringList names;
    for (int i = 0; i < m_preview->count(); ++i)
        names.append(m_preview->item(i)->text());
    return names;
}

void SavePicturesDialog::update()
{
    const SaveOptions now = options();
    const bool zip = now.into == SaveOptions::Into::Zip;
    m_zipLabel->setEnabled(zip);
    m_zipName->setEnabled(zip);
    m_manifest->setText(zip ? tr("Write &manifest.json into the ZIP file")
                            : tr("Write &manifest.json beside the pictures"));
    const int count = m_previewLabel->property("count").toInt();
    const QString howMany =
        count == 1 ? tr("1 picture") : tr("%1 pictures").arg(QLocale().toString(count));
    m_previewLabel->setText(zip ? tr("In %1 (%2), the first names:").arg(now.zipName, howMany)
                                : tr("In the folder (%1), the first names:").arg(howMany));
    m_preview->clear();
    const QList<NameFields> &pictures = now.largestVariant ? m_firstLargest : m_first;
    const QString pattern = now.pattern.isEmpty() ? NamePattern::defaultPattern() : now.pattern;
    for (qsizetype i = 0; i < pictures.size() && i < previewCount; ++i)
        m_preview->addItem(NamePattern::apply(pattern, pictures.at(i), now.keepFolders));
    if (count > previewCount)
        m_preview->addItem(QStringLiteral("\u2026"));

    QString problem;
    const QStringList unknown = NamePattern::unknownFields(now.pattern);
    if (now.pattern.isEmpty())
        problem = tr("Give the files a name pattern.");
    else if (!unknown.isEmpty())
        problem = tr("No such field: %1").arg(unknown.join(QStringLiteral(", ")));
    else if (now.folder.isEmpty() || !QFileInfo(now.folder).isAbsolute() ||
             (QFileInfo::exists(now.folder) && !QFileInfo(now.folder).isDir()))
        problem = tr("Choose a folder.");
    else if (zip && m_zipName->text().trimmed().isEmpty())
        problem = tr("Give the ZIP file a name.");
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    m_buttons->button(QDialogButtonBox::Save)->setEnabled(problem.isEmpty());
}

void SavePicturesDialog::chooseFolder()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Save the Pictures To"), options().folder);
    if (!folder.isEmpty())
        m_folder->setText(QDir::toNativeSeparators(folder));
}

void SavePicturesDialog::accept()
{
    if (!m_buttons->button(QDialogButtonBox::Save)->isEnabled())
        return;
    const SaveOptions chosen = options();
    // A folder not made yet (the download folder of a new account) is made now.
    if (!QFileInfo(chosen.folder).isDir() && !QDir().mkpath(chosen.folder)) {
        m_problem->setText(
            tr("Cannot make the folder %1.").arg(QDir::toNativeSeparators(chosen.folder)));
        m_problem->show();
        return;
    }
    PictureSaving saving;
    saving.zip = chosen.into == SaveOptions::Into::Zip;
    saving.folder = chosen.folder;
    saving.pattern = chosen.pattern;
    saving.keepFolders = chosen.keepFolders;
    saving.largestVariant = chosen.largestVariant;
    saving.fromPage = chosen.fromPage;
    saving.manifest = chosen.manifest;
    if (!m_product.isEmpty())
        Settings(m_product).setPictureSaving(saving);
    QDialog::accept();
}

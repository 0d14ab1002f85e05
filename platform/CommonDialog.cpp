#include "platform/CommonDialog.h"

#include <QFileDialog>
#include <QFileInfo>

CommonDialog::CommonDialog(QObject *parent) : QObject(parent) {}

bool CommonDialog::ShowOpen(QWidget *owner)
{
    QFileDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("cd1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The same dialog on every desktop, and one that tests can drive.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!FileName.isEmpty()) {
        const QFileInfo last(FileName);
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    FileName = dialog.selectedFiles().constFirst();
    return true;
}

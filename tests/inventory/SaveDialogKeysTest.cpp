// The save dialog with real keys: on an X server of the test's own with a
// window manager, keys typed through the server as a user's are.

#include "platform/SettingsStore.h"
#include "windows/PageInfoWindow.h"
#include "windows/SavePicturesDialog.h"

#include "tests/inventory/InventorySite.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XDisplay.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineProfile>

#include <gtest/gtest.h>

namespace {

const QString Product = QStringLiteral("QuarrowSaveDialogTest");

void keys(const QString &sequence)
{
    testsupport::runOnDisplay("xdotool", {"key", "--delay", "60", sequence});
}

void type(const QString &text)
{
    testsupport::runOnDisplay("xdotool", {"type", "--delay", "40", text});
}

// Gives the window the keys, as a click on it would.
void activate(QWidget *window)
{
    QUARROW_WAIT_UNTIL(window->isVisible() && window->winId() != 0, 10000);
    testsupport::runOnDisplay("xdotool",
                              {"windowactivate", "--sync", QString::number(window->winId())});
    EXPECT_EVENTUALLY(window->isActiveWindow(), 10000);
}

NameFields picture(const QString &address, const QString &alt, int n, QSize size = QSize())
{
    NameFields f;
    f.address = address;
    f.alt = alt;
    f.n = n;
    f.count = 3;
    f.mimeType = QStringLiteral("image/jpeg");
    f.size = size;
    return f;
}

class SaveDialogKeys : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        PictureSaving fresh;
        fresh.folder = folder.path();
        Settings(Product).setPictureSaving(fresh);
    }
    QTemporaryDir folder;
    const QList<NameFields> first = {
        picture("http://example.org/a/boat.jpg", "Red boat", 1, QSize(640, 480)),
        picture("http://example.org/a/sea.jpg", "Sea", 2),
        picture("http://example.org/b/sky.jpg", "", 3)};
    const QList<NameFields> largest = {
        picture("http://example.org/a/boat-2x.jpg", "Red boat", 1, QSize(1280, 960)),
        picture("http://example.org/a/sea.jpg", "Sea", 2),
        picture("http://example.org/b/sky.jpg", "", 3)};
};

TEST_F(SaveDialogKeys, KeysChooseEverythingAndTheChoicesAreKept)
{
    auto dialog =
        std::make_unique<SavePicturesDialog>(Product, QStringLiteral("Save All Pictures"), first,
                                             largest, 3, QStringLiteral("example.org pictures"));
    dialog->show();
    activate(dialog.get());
    auto *pattern = dialog->findChild<QComboBox *>(QStringLiteral("savePattern"));
    ASSERT_TRUE(pattern);
    EXPECT_TRUE(pattern->hasFocus());
    EXPECT_EQ(dialog->previewNames(),
              QStringList({QStringLiteral("boat.jpg"), QStringLiteral("sea.jpg"),
                           QStringLiteral("sky.jpg")}));

    // A pattern typed: the preview follows it.
    keys(QStringLiteral("ctrl+a"));
    type(QStringLiteral("{n} {alt} {width}"));
    EXPECT_EVENTUALLY_EQ(dialog->previewNames().value(0), QStringLiteral("1 Red boat 640.jpg"),
                         10000);
    EXPECT_EQ(dialog->previewNames().value(2), QStringLiteral("3.jpg"));
    // The letters of the labels reach every choice.
    keys(QStringLiteral("alt+z"));
    EXPECT_EVENTUALLY(dialog->findChild<QRadioButton *>(QStringLiteral("saveIntoZip"))->isChecked(),
                      10000);
    auto *label = dialog->findChild<QLabel *>(QStringLiteral("savePreviewLabel"));
    EXPECT_TRUE(label->text().contains(QStringLiteral("example.org pictures.zip")))
        << label->text().toStdString();
    keys(QStringLiteral("alt+l"));
    EXPECT_EVENTUALLY_EQ(dialog->previewNames().value(0), QStringLiteral("1 Red boat 1280.jpg"),
                         10000);
    keys(QStringLiteral("alt+k"));
    EXPECT_EVENTUALLY_EQ(dialog->previewNames().value(0),
                         QStringLiteral("example.org/a/1 Red boat 1280.jpg"), 10000);
    keys(QStringLiteral("alt+m"));
    EXPECT_EVENTUALLY(!dialog->findChild<QCheckBox *>(QStringLiteral("saveManifest"))->isChecked(),
                      10000);

    // A field of no such name: Save cannot be pressed, and Enter does nothing.
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    keys(QStringLiteral("alt+n"));
    keys(QStringLiteral("ctrl+a"));
    type(QStringLiteral("{size}"));
    auto *problem = dialog->findChild<QLabel *>(QStringLiteral("saveProblem"));
    EXPECT_EVENTUALLY(problem->isVisible(), 10000);
    EXPECT_EQ(problem->text(), QStringLiteral("No such field: {size}"));
    keys(QStringLiteral("Return"));
    EXPECT_EVENTUALLY(!pattern->lineEdit()->text().isEmpty(), 10000);
    EXPECT_TRUE(accepted.isEmpty());
    EXPECT_TRUE(dialog->isVisible());

    keys(QStringLiteral("ctrl+a"));
    type(QStringLiteral("{host}/{n}"));
    EXPECT_EVENTUALLY(!problem->isVisible(), 10000);
    keys(QStringLiteral("Return"));
    EXPECT_EVENTUALLY(!accepted.isEmpty(), 10000);
    const SaveOptions chosen = dialog->options();
    EXPECT_EQ(chosen.into, SaveOptions::Into::Zip);
    EXPECT_EQ(chosen.pattern, QStringLiteral("{host}/{n}"));
    EXPECT_EQ(chosen.zipName, QStringLiteral("example.org pictures.zip"));
    EXPECT_TRUE(chosen.largestVariant);
    EXPECT_TRUE(chosen.keepFolders);
    EXPECT_FALSE(chosen.manifest);
    EXPECT_EQ(chosen.folder, folder.path());

    // The next dialog opens as this one was left; Esc closes it.
    dialog = std::make_unique<SavePicturesDialog>(Product, QStringLiteral("Save All Pictures"),
                                                  first, largest, 3, QStringLiteral("pictures"));
    const SaveOptions again = dialog->options();
    EXPECT_EQ(again.into, SaveOptions::Into::Zip);
    EXPECT_EQ(again.pattern, chosen.pattern);
    EXPECT_TRUE(again.largestVariant);
    EXPECT_TRUE(again.keepFolders);
    EXPECT_FALSE(again.manifest);
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    dialog->show();
    activate(dialog.get());
    keys(QStringLiteral("Escape"));
    EXPECT_EVENTUALLY(!rejected.isEmpty(), 10000);
}

TEST_F(SaveDialogKeys, SaveAllAsksTheDialogAndSavesAsItSays)
{
    QWebEngineProfile profile;
    Inventory inventory;
    inventory.valid = true;
    inventory.pageAddress = QStringLiteral("http://127.0.0.1:1/page.html");
    for (int i = 0; i < 3; ++i) {
        InventoryEntry entry;
        entry.address = InventorySite::gifDataAddress() + QString(i, QLatin1Char('A'));
        entry.displayAddress = entry.address;
        entry.kinds = {QStringLiteral("img")};
        entry.mimeType = QStringLiteral("image/gif");
        entry.altText = QStringLiteral("Dot %1").arg(i);
        inventory.pictures.append(entry);
    }
    auto *window = new PageInfoWindow(&profile, Product);
    QSignalSpy shown(window, &PageInfoWindow::inventoryShown);
    window->setInventory(inventory);
    window->show();
    ASSERT_TRUE(shown.count() > 0 || shown.wait(10000));
    PictureSaving saving;
    saving.folder = folder.path();
    saving.pattern = QStringLiteral("{n} {alt}");
    saving.manifest = false;
    Settings(Product).setPictureSaving(saving);
    QSignalSpy finished(window, &PageInfoWindow::saveFinished);

    // The dialog opens modally: it is answered from the event loop it runs.
    bool sawDialog = false;
    QTimer::singleShot(0, window, [&] {
        QUARROW_WAIT_UNTIL(qobject_cast<SavePicturesDialog *>(QApplication::activeModalWidget()),
                           10000);
        auto *dialog = qobject_cast<SavePicturesDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        sawDialog = true;
        activate(dialog);
        keys(QStringLiteral("Return"));
    });
    window->findChild<QPushButton *>(QStringLiteral("mediaSaveAll"))->click();
    EXPECT_TRUE(sawDialog);
    EXPECT_EVENTUALLY(!finished.isEmpty(), 30000);
    QStringList saved = window->lastSummary().savedFiles;
    saved.sort();
    EXPECT_EQ(saved, QStringList({QStringLiteral("1 Dot 0.gif"), QStringLiteral("2 Dot 1.gif"),
                                  QStringLiteral("3 Dot 2.gif")}))
        << window->lastSummary().details().toStdString();
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox *>(widget))
            widget->close();
    }
    delete window;
}

} // namespace

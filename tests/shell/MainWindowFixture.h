#pragma once

#include "shell/Form1.h"

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

// A main window over a temporary program folder holding a small start page,
// with a profile that keeps nothing on disk.
class QAbstractButton;
class QAction;
class QLineEdit;
class ProgressBar;
class StatusBar;
class TabStrip;
class WebBrowser;

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window (its load runs); call after preparing the folder.
    void loadWindow();
    QString programFile(const QString &name) const;

    // The window as a user meets it: its views, its widgets found by name,
    // its menu items found by their menu and text (without the '&').
    WebBrowser *view(int index) const;
    QLineEdit *addressBox() const;
    StatusBar *statusBar() const;
    ProgressBar *progressBar() const;
    TabStrip *tabStrip() const;
    QAbstractButton *button(const char *objectName) const;
    QAction *menuItem(const QString &menu, const QString &item) const;
    // Shows a view as its menu item does; which view shows.
    void showView(int index);
    int visible() const;

    // Waits until the view has finished a load (bounded).
    bool waitForLoad(int view, int timeoutMs = 20000);
    // Waits until a view shows the given address (bounded).
    bool waitForUrl(int view, const QString &url, int timeoutMs = 15000);
    // Waits until `count` harvests have finished in all (bounded).
    bool waitForHarvests(int count, int timeoutMs = 20000);
    // The address of the page that the Source Code (1) or Images (2) view
    // shows for the window's last harvest.
    QString generatedAddress(int view) const;
    // Waits until both generated views have loaded the last harvest's pages
    // (bounded).
    bool waitForGeneratedViews(int timeoutMs = 20000);
    // Runs a script in a view and returns its result (bounded).
    QVariant evaluate(int view, const QString &script, int timeoutMs = 10000);

    QTemporaryDir folder;
    std::unique_ptr<Form1> form;
};

// Runs `answer` on the first visible top-level widget of type T (bounded).
template <typename T> inline void answerWhenShown(std::function<void(T *)> answer)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *widget = qobject_cast<T *>(window);
            if (widget && widget->isVisible()) {
                timer->stop();
                timer->deleteLater();
                answer(widget);
                return;
            }
        }
        if (++*tries > 300) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(50);
}

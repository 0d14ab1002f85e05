#pragma once

#include "shell/Form1.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// A main window over a temporary program folder holding a small start page,
// with a profile that keeps nothing on disk.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window (its load runs); call after preparing the folder.
    void loadWindow();
    QString programFile(const QString &name) const;

    // Waits until the view has finished a load (bounded).
    bool waitForLoad(int view, int timeoutMs = 20000);
    // Waits until a view shows the given address (bounded).
    bool waitForUrl(int view, const QString &url, int timeoutMs = 15000);
    // Waits until `count` harvests have finished in all (bounded).
    bool waitForHarvests(int count, int timeoutMs = 20000);
    // Runs a script in a view and returns its result (bounded).
    QVariant evaluate(int view, const QString &script, int timeoutMs = 10000);

    QTemporaryDir folder;
    std::unique_ptr<Form1> form;
};

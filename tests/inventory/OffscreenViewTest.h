#pragma once

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>

// A test with a view of its own on an off-the-record profile of its own,
// shown offscreen.
class OffscreenViewTest : public ::testing::Test {
protected:
    void openView(const QSize &size = QSize(800, 600))
    {
        profile = std::make_unique<QWebEngineProfile>();
        page = new QWebEnginePage(profile.get());
        view = std::make_unique<QWebEngineView>();
        view->setPage(page);
        view->resize(size);
        view->show();
    }
    void TearDown() override { closeView(); }

    // The page goes before its profile.
    void closeView()
    {
        view.reset();
        delete page;
        page = nullptr;
        profile.reset();
    }

    std::unique_ptr<QWebEngineProfile> profile;
    QWebEnginePage *page = nullptr;
    std::unique_ptr<QWebEngineView> view;
};

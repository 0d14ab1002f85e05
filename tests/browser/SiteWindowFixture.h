#pragma once

#include "tests/browser/TestSite.h"
#include "tests/shell/MainWindowFixture.h"

// A main window next to the test site, once the start page and its harvest
// have settled.
class SiteWindowFixture : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(site.start());
        loadWindow();
        ASSERT_TRUE(waitForHarvests(1));
    }

    TestSite site;
};

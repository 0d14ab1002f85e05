// The status bar's panels stay inside the bar, and a text too long for its
// panel is shortened with "…" and whole in the panel's tool tip.
#include "platform/StatusBar.h"
#include "platform/Twips.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

TEST(StatusBar, PanelsEndAtTheBarsEdge)
{
    StatusBar bar;
    bar.addPanel();
    bar.addPanel();
    bar.resize(300, 24);
    bar.setPanelWidth(1, Twips::fromPixelsX(200));
    bar.setPanelWidth(2, Twips::fromPixelsX(400)); // wider than what is left
    bar.setPanelWidth(3, Twips::fromPixelsX(100)); // past the edge
    EXPECT_LE(bar.textRect(1).right(), 200);
    EXPECT_FALSE(bar.textRect(2).isEmpty());
    EXPECT_LT(bar.textRect(2).right(), bar.width());
    EXPECT_TRUE(bar.textRect(3).isEmpty());
    bar.setPanelText(3, "never seen");
    EXPECT_EQ(bar.shownText(3), "");
    EXPECT_EQ(bar.panelAt(QPoint(299, 10)), 2);
    EXPECT_EQ(bar.panelAt(QPoint(10, 10)), 1);
}

TEST(StatusBar, ALongTextIsShortenedAndWholeInTheToolTip)
{
    StatusBar bar;
    bar.addPanel();
    bar.resize(400, 24);
    bar.setPanelWidth(1, Twips::fromPixelsX(250));
    bar.setPanelWidth(2, Twips::fromPixelsX(150));
    const QString longText =
        "Could not open http://example.invalid/" + QString(200, 'p') + ": No such host";
    bar.setPanelText(1, longText);
    bar.setPanelText(2, "Zoom 150%");
    const QString shown = bar.shownText(1);
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith("Could not open")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("No such host")) << shown.toStdString();
    EXPECT_LE(bar.fontMetrics().horizontalAdvance(shown), bar.textRect(1).width());
    EXPECT_EQ(bar.shownText(2), "Zoom 150%");

    const QPoint inFirst = bar.textRect(1).center();
    EXPECT_EQ(bar.toolTipAt(inFirst), longText);
    EXPECT_EQ(bar.toolTipAt(bar.textRect(2).center()), "Zoom 150%");
    // As the mouse asks for it.
    bar.show();
    QHelpEvent help(QEvent::ToolTip, inFirst, bar.mapToGlobal(inFirst));
    QApplication::sendEvent(&bar, &help);
    EXPECT_EQ(QToolTip::text(), longText);
    QToolTip::hideText();
}

} // namespace

#include "windows/Skinning.h"
#include "platform/RichTextBox.h"
#include "platform/SkinControl.h"
#include "platform/SkinHelper.h"
#include "platform/SkinLabel.h"
#include "platform/StatusBar.h"
#include "platform/TabStrip.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

const quint32 c2 = 0x123456;
const quint32 c3 = 0xabcdef;
const quint32 c4 = 0x0f1e2d;
const quint32 c5 = 0x777777;

QColor colour(quint32 rgb)
{
    return QColor::fromRgb(QRgb(0xff000000u | rgb));
}

QPixmap picture()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    return pixmap;
}

// Whether a pixel is within a shade of a colour (buttons are drawn with a
// slight gradient).
bool near(QRgb pixel, const QColor &wanted)
{
    return qAbs(qRed(pixel) - wanted.red()) <= 24 && qAbs(qGreen(pixel) - wanted.green()) <= 24 &&
           qAbs(qBlue(pixel) - wanted.blue()) <= 24;
}

} // namespace

TEST(ColorControls, ListBoxButtonAndLabelGetTheirColoursByType)
{
    QWidget form;
    auto *list = new QListWidget(&form);
    auto *button = new QPushButton(QStringLiteral("OK"), &form);
    auto *label = new QLabel(QStringLiteral("Name:"), &form);
    const QPalette before = QPalette(form.palette());

    ColorControls(&form, c2, c3, c4);

    // ListBox: colour 2 as background, colour 3 as text.
    EXPECT_EQ(list->palette().color(QPalette::Base), colour(c2));
    EXPECT_EQ(list->palette().color(QPalette::Text), colour(c3));
    // CommandButton: colour 2 only.
    EXPECT_EQ(button->palette().color(QPalette::Button), colour(c2));
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), before.color(QPalette::ButtonText));
    EXPECT_NE(button->palette().color(QPalette::Text), colour(c3));
    // Label: neither.
    for (QPalette::ColorRole role :
         {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text, QPalette::Button})
        EXPECT_EQ(label->palette().color(role), before.color(role)) << role;
    // The window itself is not a control of its own.
    EXPECT_EQ(form.palette().color(QPalette::Base), before.color(QPalette::Base));
}

TEST(ColorControls, EveryTypeOfTheTable)
{
    struct Row {
        QWidget *control;
        const char *type;
        QPalette::ColorRole back;
        quint32 backColour; // 0: unchanged
        QPalette::ColorRole fore;
        quint32 foreColour; // 0: unchanged
    };
    QWidget form;
    auto *label = new QLabel(&form);
    label->setPixmap(picture());
    auto *toolButton = new QToolButton(&form);
    const Row rows[] = {
        {new QPushButton(&form), "CommandButton", QPalette::Button, c2, QPalette::Text, 0},
        {toolButton, "CommandButton", QPalette::Button, c2, QPalette::Text, 0},
        {new QLineEdit(&form), "TextBox", QPalette::Base, c2, QPalette::Text, c3},
        {new QTextEdit(&form), "TextBox", QPalette::Base, c2, QPalette::Text, c3},
        {new QPlainTextEdit(&form), "TextBox", QPalette::Base, c2, QPalette::Text, c3},
        {new QComboBox(&form), "ComboBox", QPalette::Button, c2, QPalette::ButtonText, c3},
        {new QListWidget(&form), "ListBox", QPalette::Base, c2, QPalette::Text, c3},
        {new QTreeWidget(&form), "ListView", QPalette::Base, c2, QPalette::Text, c3},
        {label, "PictureBox", QPalette::Window, c4, QPalette::WindowText, 0},
        {new QLabel(QStringLiteral("x"), &form), "Label", QPalette::Window, 0, QPalette::WindowText,
         0},
        {new QCheckBox(&form), "CheckBox", QPalette::Base, 0, QPalette::Text, 0},
        {new QTextBrowser(&form), "RichTextBox", QPalette::Base, 0, QPalette::Text, 0},
        {new QProgressBar(&form), "ProgressBar", QPalette::Base, 0, QPalette::Text, 0},
        {new RichTextBox(&form), "RichTextBox", QPalette::Base, 0, QPalette::Text, 0},
        {new StatusBar(&form), "StatusBar", QPalette::Window, 0, QPalette::WindowText, 0},
        {new TabStrip(&form), "TabStrip", QPalette::Base, 0, QPalette::Text, 0},
    };
    const QPalette before = form.palette();

    ColorControls(&form, c2, c3, c4);

    for (const Row &row : rows) {
        SCOPED_TRACE(row.type);
        EXPECT_EQ(ControlTypeName(row.control), QLatin1String(row.type));
        const QPalette pal = row.control->palette();
        EXPECT_EQ(pal.color(row.back),
                  row.backColour ? colour(row.backColour) : before.color(row.back));
        EXPECT_EQ(pal.color(row.fore),
                  row.foreColour ? colour(row.foreColour) : before.color(row.fore));
        EXPECT_NE(pal.color(row.back), colour(c5));
    }
    // A picture box paints its background.
    EXPECT_TRUE(label->autoFillBackground());
}

TEST(ColorControls, ReachesControlsInsideContainersButNotInsideOtherControls)
{
    QWidget form;
    auto *tabs = new QTabWidget(&form);
    auto *page = new QWidget;
    tabs->addTab(page, QStringLiteral("Page"));
    auto *inner = new QListWidget(page);
    auto *frame = new QFrame(&form);
    auto *framed = new QLineEdit(frame);
    auto *combo = new QComboBox(&form);
    combo->setEditable(true);

    ColorControls(&form, c2, c3, c4);

    EXPECT_EQ(inner->palette().color(QPalette::Base), colour(c2));
    EXPECT_EQ(framed->palette().color(QPalette::Text), colour(c3));
    const QList<QWidget *> controls = FormControls(&form);
    EXPECT_TRUE(controls.contains(inner));
    EXPECT_TRUE(controls.contains(framed));
    EXPECT_FALSE(controls.contains(combo->lineEdit()));
    EXPECT_FALSE(controls.contains(inner->viewport()));
    // Depth first, in creation order.
    EXPECT_LT(controls.indexOf(tabs), controls.indexOf(inner));
    EXPECT_LT(controls.indexOf(inner), controls.indexOf(frame));
    EXPECT_LT(controls.indexOf(framed), controls.indexOf(combo));
}

TEST(ColorControls, AWidgetMayNameItsOwnType)
{
    QWidget form;
    auto *box = new QWidget(&form);
    box->setProperty("controlType", QStringLiteral("PictureBox"));
    auto *inside = new QLineEdit(box);

    ColorControls(&form, c2, c3, c4);

    EXPECT_EQ(box->palette().color(QPalette::Window), colour(c4));
    EXPECT_EQ(inside->palette().color(QPalette::Base), colour(c2));
}

TEST(MirrorLabels, TwoLabelsOneHiddenGainTheNextTwoSkinLabels)
{
    QWidget form;
    form.resize(400, 300);
    SkinLabelArray SkinLabel1;
    auto *templateLabel = new SkinLabel(&form);
    templateLabel->setGeometry(268, 624, 21, 17);
    templateLabel->hide();
    SkinLabel1.push_back(templateLabel);

    auto *first = new QLabel(QStringLiteral("Version:"), &form);
    first->setGeometry(10, 20, 120, 18);
    QFont bold(QStringLiteral("DejaVu Sans"), 11);
    bold.setBold(true);
    first->setFont(bold);
    auto *second = new QLabel(QStringLiteral("Owned By:"), &form);
    second->setGeometry(10, 50, 140, 22);
    second->hide();
    auto *picture_ = new QLabel(&form);
    picture_->setPixmap(picture());

    MirrorLabels(&form, SkinLabel1);

    ASSERT_EQ(SkinLabel1.size(), 3u);
    EXPECT_EQ(SkinLabel1[0], templateLabel);
    SkinLabel *one = SkinLabel1[1];
    SkinLabel *two = SkinLabel1[2];
    EXPECT_EQ(one->parentWidget(), &form);
    EXPECT_EQ(one->geometry(), QRect(10, 20, 120, 18));
    EXPECT_EQ(one->text(), QStringLiteral("Version:"));
    EXPECT_EQ(one->font(), bold);
    EXPECT_FALSE(one->isHidden());
    EXPECT_EQ(two->geometry(), QRect(10, 50, 140, 22));
    EXPECT_EQ(two->text(), QStringLiteral("Owned By:"));
    EXPECT_TRUE(two->isHidden());

    // The plain labels stay as they were.
    EXPECT_EQ(first->geometry(), QRect(10, 20, 120, 18));
    EXPECT_EQ(first->text(), QStringLiteral("Version:"));
    EXPECT_TRUE(second->isHidden());

    // Shown, the skin label lies over its label and the hidden pair stays hidden.
    form.show();
    EXPECT_TRUE(one->isVisible());
    EXPECT_FALSE(two->isVisible());
    EXPECT_GT(form.children().indexOf(one), form.children().indexOf(first));
    EXPECT_EQ(form.childAt(first->geometry().center()), one);
}

TEST(MirrorLabels, SkinLabelsAndPicturesAreNotMirrored)
{
    QWidget form;
    SkinLabelArray SkinLabel1;
    SkinLabel1.push_back(new SkinLabel(&form));
    auto *image = new QLabel(&form);
    image->setPixmap(picture());

    MirrorLabels(&form, SkinLabel1);
    EXPECT_EQ(SkinLabel1.size(), 1u);

    // A window without labels gains nothing; an empty array starts at 0.
    SkinLabelArray none;
    auto *label = new QLabel(QStringLiteral("Website:"), &form);
    MirrorLabels(&form, none);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0]->text(), label->text());
}

TEST(MirrorLabels, LabelsInsideAControlAreItsOwn)
{
    QWidget form;
    auto *bar = new QStatusBar(&form);
    bar->addWidget(new QLabel(QStringLiteral("Done")));
    SkinLabelArray SkinLabel1;
    MirrorLabels(&form, SkinLabel1);
    EXPECT_TRUE(SkinLabel1.empty());
}

TEST(MirrorLabels, SkinLabelFollowsItsLabel)
{
    QWidget form;
    form.resize(200, 100);
    SkinLabelArray SkinLabel1;
    auto *label = new QLabel(QStringLiteral("Website:"), &form);
    label->setGeometry(5, 5, 80, 20);
    MirrorLabels(&form, SkinLabel1);
    form.show();
    ASSERT_EQ(SkinLabel1.size(), 1u);
    label->setGeometry(30, 40, 90, 24);
    EXPECT_EQ(SkinLabel1[0]->geometry(), QRect(30, 40, 90, 24));
}

TEST(MirrorLabels, SkinLabelHidesItsLabelInASkinnedWindow)
{
    SkinControl skin;
    QWidget form;
    form.resize(200, 80);
    auto *label = new QLabel(QStringLiteral("Website:"), &form);
    label->setGeometry(10, 10, 150, 30);
    SkinLabelArray SkinLabel1;
    MirrorLabels(&form, SkinLabel1);
    ASSERT_EQ(SkinLabel1.size(), 1u);
    SkinLabel1[0]->setText(QString()); // whatever shows now comes from the label beneath
    skin.skinWindow(&form);
    form.show();
    const QImage shot = form.grab().toImage();
    const QColor window = skin.look(QStringLiteral("window"));
    for (int x = 10; x < 160; ++x) {
        for (int y = 10; y < 40; ++y)
            ASSERT_EQ(QColor(shot.pixel(x, y)), window) << x << "," << y;
    }
}

TEST(SetWindowIcons, WindowAndTopOwnerGetLargeAndSmallIcons)
{
    QMainWindow owner;
    QDialog middle(&owner);
    QDialog dialog(&middle);
    SetWindowIcons(&dialog, QStringLiteral("AAA"), true);

    const int large = qApp->style()->pixelMetric(QStyle::PM_LargeIconSize);
    const int small = qApp->style()->pixelMetric(QStyle::PM_SmallIconSize);
    for (QWidget *window : {static_cast<QWidget *>(&dialog), static_cast<QWidget *>(&owner)}) {
        const QList<QSize> sizes = window->windowIcon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(large, large))) << large;
        EXPECT_TRUE(sizes.contains(QSize(small, small))) << small;
        EXPECT_TRUE(sizes.contains(QSize(16, 16)));
        EXPECT_TRUE(sizes.contains(QSize(32, 32)));
        EXPECT_TRUE(sizes.contains(QSize(128, 128)));
        EXPECT_EQ(sizes.size(), 5);
    }
    // The icon is the program's mark, not a blank square.
    const QImage image = dialog.windowIcon().pixmap(32, 32).toImage();
    EXPECT_EQ(qAlpha(image.pixel(16, 16)), 255);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
}

TEST(SetWindowIcons, WithoutOwnerFlagOnlyTheWindow)
{
    QMainWindow owner;
    QDialog dialog(&owner);
    const qint64 ownerIcon = owner.windowIcon().cacheKey();
    SetWindowIcons(&dialog, QStringLiteral("AAA"), false);
    EXPECT_FALSE(dialog.windowIcon().availableSizes().isEmpty());
    EXPECT_EQ(owner.windowIcon().cacheKey(), ownerIcon);

    // An unknown group gives no icon and no crash.
    QWidget plain;
    SetWindowIcons(&plain, QStringLiteral("NOPE"), true);
    EXPECT_TRUE(IconGroup(QStringLiteral("NOPE")).isNull());
}

TEST(ApplySkin, ColoursTheControlsAndSkinsTheWindow)
{
    SkinControl skin;
    QWidget form;
    form.resize(200, 120);
    auto *button = new QPushButton(QStringLiteral("Go"), &form);
    button->setGeometry(10, 10, 80, 30);
    auto *list = new QListWidget(&form);
    list->setGeometry(10, 50, 120, 60);

    ApplySkin(&form, &skin);

    EXPECT_TRUE(SkinControl::isSkinned(&form));
    EXPECT_FALSE(form.styleSheet().isEmpty());
    EXPECT_EQ(form.palette().color(QPalette::Window), skin.look(QStringLiteral("window")));
    EXPECT_EQ(list->palette().color(QPalette::Base), colour(skin.colour(2)));
    EXPECT_EQ(list->palette().color(QPalette::Text), colour(skin.colour(3)));
    EXPECT_EQ(button->palette().color(QPalette::Button), colour(skin.colour(2)));

    // What the user sees: the list in colour 2, the button's face shaded
    // from colour 2, the window around them in the skin's window colour.
    form.show();
    QImage shot = form.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(70, 100)), colour(skin.colour(2)));
    EXPECT_TRUE(near(shot.pixel(50, 25), colour(skin.colour(2))));
    EXPECT_EQ(QColor(shot.pixel(170, 20)), skin.look(QStringLiteral("window")));

    // The skin's style sheet does not hide the colours given to the controls.
    ColorControls(&form, 0xc03030, 0x101010, c4);
    shot = form.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(70, 100)), QColor(0xc0, 0x30, 0x30));
    // (the base style shades a button's face from its colour)
    const QRgb face = shot.pixel(50, 25);
    EXPECT_GT(qRed(face), qGreen(face) + 60);
    EXPECT_GT(qRed(face), qBlue(face) + 60);
}

TEST(ApplySkin, WithoutASkinObjectNothingHappens)
{
    QWidget form;
    auto *list = new QListWidget(&form);
    const QColor base = list->palette().color(QPalette::Base);
    ApplySkin(&form, nullptr);
    ApplySkin(nullptr, nullptr);
    EXPECT_EQ(list->palette().color(QPalette::Base), base);
    EXPECT_TRUE(form.styleSheet().isEmpty());
}

TEST(SkinHelper, SkinsWindowsAsTheyAppearUntilStopped)
{
    SkinControl skin;
    SkinHelper helper;
    helper.attach(&skin);
    helper.start();
    {
        QWidget window;
        window.show();
        EXPECT_TRUE(SkinControl::isSkinned(&window));
        EXPECT_EQ(window.palette().color(QPalette::Window), skin.look(QStringLiteral("window")));
        // Inner widgets and pop-ups are not windows of their own.
        auto *child = new QPushButton(&window);
        child->show();
        EXPECT_FALSE(SkinControl::isSkinned(child));
    }
    helper.stop();
    EXPECT_FALSE(helper.isRunning());
    QWidget later;
    later.show();
    EXPECT_FALSE(SkinControl::isSkinned(&later));
}

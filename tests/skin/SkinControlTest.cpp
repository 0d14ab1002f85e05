#include "platform/SkinControl.h"
#include "platform/SkinLabel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

QStringList warnings;

void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The offscreen platform's own notes are not about the skin.
    if (type != QtDebugMsg && type != QtInfoMsg && !message.contains(QLatin1String("plugin")))
        warnings.append(message);
}

} // namespace

TEST(SkinControl, ReadsTheFourColoursOfADefinition)
{
    SkinControl skin;
    skin.loadText(QStringLiteral("# a comment\n"
                                 "[colours]\r\n"
                                 "2 = #102030\r\n"
                                 "3=0xA0B0C0\n"
                                 "  4 =  255\n"
                                 "5 = white\n"
                                 "6 = not a colour\n"
                                 "[look]\n"
                                 "window = #010203\n"));
    EXPECT_EQ(skin.colour(2), 0x102030u);
    EXPECT_EQ(skin.colour(3), 0xa0b0c0u);
    EXPECT_EQ(skin.colour(4), 0x0000ffu);
    EXPECT_EQ(skin.colour(5), 0xffffffu);
    EXPECT_EQ(skin.colour(6), 0u);
    EXPECT_EQ(skin.colour(1), 0u);
    EXPECT_EQ(skin.look(QStringLiteral("window")), QColor(1, 2, 3));
    EXPECT_FALSE(skin.look(QStringLiteral("missing")).isValid());
}

TEST(SkinControl, StyleSheetTakesLookColoursAndKeepsTheRest)
{
    SkinControl skin;
    skin.loadText(QStringLiteral("[look]\n"
                                 "accent = #2A4D6E\n"
                                 "[style]\n"
                                 "# not a comment here\n"
                                 "QLabel#title { color: @accent; border: 1px solid @nope; }\n"
                                 "[look]\n"));
    const QString sheet = skin.styleSheet();
    EXPECT_TRUE(sheet.contains(QStringLiteral("QLabel#title { color: #2a4d6e;")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("@nope")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("# not a comment here")));
    // Everything after [style] belongs to the style sheet.
    EXPECT_TRUE(sheet.contains(QStringLiteral("[look]")));
}

TEST(SkinControl, MissingDefinitionGivesAnEmptySkin)
{
    SkinControl skin;
    EXPECT_FALSE(skin.load(QStringLiteral("/nonexistent/quarrow.skin")));
    for (int id = 2; id <= 5; ++id)
        EXPECT_EQ(skin.colour(id), 0u);
    EXPECT_TRUE(skin.styleSheet().isEmpty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.skin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[colours]\n2 = #ABCDEF\n");
    file.close();
    EXPECT_TRUE(skin.load(path));
    EXPECT_EQ(skin.colour(2), 0xabcdefu);
}

TEST(SkinControl, TheProgramsSkinIsComplete)
{
    SkinControl skin; // the program's own definition
    QList<quint32> seen;
    for (int id = 2; id <= 5; ++id) {
        EXPECT_NE(skin.colour(id), 0u) << id;
        EXPECT_FALSE(seen.contains(skin.colour(id))) << id;
        seen.append(skin.colour(id));
    }
    // Every @name of the style sheet is defined.
    const QString sheet = skin.styleSheet();
    EXPECT_FALSE(sheet.isEmpty());
    const QRegularExpressionMatch left =
        QRegularExpression(QStringLiteral("@[A-Za-z]")).match(sheet);
    EXPECT_FALSE(left.hasMatch()) << left.captured(0).toStdString();
    // Text is readable on its background: dark text on light controls.
    const QColor base = QColor::fromRgb(QRgb(0xff000000u | skin.colour(2)));
    const QColor text = QColor::fromRgb(QRgb(0xff000000u | skin.colour(3)));
    EXPECT_GT(base.lightness() - text.lightness(), 150);
    EXPECT_GT(skin.look(QStringLiteral("window")).lightness() -
                  skin.look(QStringLiteral("windowText")).lightness(),
              150);
    EXPECT_GT(skin.look(QStringLiteral("accentText")).lightness() -
                  skin.look(QStringLiteral("accent")).lightness(),
              150);
    // The fonts the windows are designed with have substitutes.
    EXPECT_FALSE(skin.fontSubstitutes().value(QStringLiteral("Verdana")).isEmpty());
    EXPECT_FALSE(skin.fontSubstitutes().value(QStringLiteral("MS Sans Serif")).isEmpty());
}

TEST(SkinControl, StyleSheetParsesOnEveryKindOfWindowContent)
{
    SkinControl skin;
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Open"));
    window.statusBar()->showMessage(QStringLiteral("Done"));
    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(new QPushButton(QStringLiteral("Back")));
    layout->addWidget(new QLineEdit(QStringLiteral("http://example.com/")));
    layout->addWidget(new QCheckBox(QStringLiteral("Show at Startup")));
    layout->addWidget(new QComboBox);
    layout->addWidget(new QListWidget);
    layout->addWidget(new QTextEdit);
    layout->addWidget(new QProgressBar);
    layout->addWidget(new QLabel(QStringLiteral("Version:")));
    layout->addWidget(new SkinLabel);
    auto *tabs = new QTabWidget;
    tabs->addTab(new QWidget, QStringLiteral("Browser"));
    layout->addWidget(tabs);
    window.setCentralWidget(central);

    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    skin.skinWindow(&window);
    window.show();
    window.grab();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(SkinControl::isSkinned(&window));
    EXPECT_EQ(window.palette().color(QPalette::Window), skin.look(QStringLiteral("window")));
    EXPECT_EQ(window.palette().color(QPalette::Base),
              QColor::fromRgb(QRgb(0xff000000u | skin.colour(2))));
}

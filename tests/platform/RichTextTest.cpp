#include "platform/RichText.h"
#include "platform/RichTextBox.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

namespace {

QString plain(const QByteArray &rtf)
{
    QTextDocument document;
    RichText::read(rtf, &document);
    // The raw text keeps no-break spaces and line separators as they are.
    return document.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

// The character format at the first occurrence of `text`.
QTextCharFormat formatOf(const QTextDocument &document, const QString &text)
{
    const QTextCursor found = document.find(text);
    if (found.isNull())
        return {};
    QTextCursor at(const_cast<QTextDocument *>(&document));
    at.setPosition(found.selectionStart() + 1);
    return at.charFormat();
}

QTextBlock blockWith(const QTextDocument &document, const QString &text)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.text().contains(text))
            return block;
    }
    return {};
}

// Written the way WordPad writes a short document.
const QByteArray WordPadDocument =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033{\\fonttbl{\\f0\\fnil\\fcharset0 "
    "Calibri;}{\\f1\\froman\\fprq2\\fcharset0 Times New Roman;}{\\f2\\fswiss\\fprq2\\fcharset204 "
    "Arial;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green77\\blue187;}\r\n"
    "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
    "\\pard\\sa200\\sl276\\slmult1\\qc\\b\\f0\\fs32\\lang9 Title\\par\r\n"
    "\\pard\\sa200\\sl276\\slmult1\\b0\\fs22 Normal \\i italic\\i0  and \\ul underlined\\ulnone "
    " and \\cf1 red\\cf0  and \\f1 roman\\f0 .\\par\r\n"
    "Caf\\'e9 \\u8212? dash \\f2\\'c4\\'e0\\f0  end\\par\r\n"
    "}\r\n";

// Written the way a full word processor writes one: style sheet, document
// information, theme data, latent styles, a picture, a header, list text.
const QByteArray WordDocument =
    "{\\rtf1\\adeflang1025\\ansi\\ansicpg1252\\uc1\\adeff31507\\deff0\\stshfdbch31505"
    "{\\fonttbl{\\f0\\fbidi \\froman\\fcharset0\\fprq2{\\*\\panose 02020603050405020304}Times New "
    "Roman;}{\\f3\\fbidi \\froman\\fcharset2\\fprq2{\\*\\panose 05050102010706020507}Symbol;}"
    "{\\f37\\fbidi \\fswiss\\fcharset0\\fprq2{\\*\\panose 020f0502020204030204}Calibri{\\*\\falt "
    "Helvetica};}}\r\n"
    "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
    "{\\*\\defchp \\f31506\\fs22 }{\\*\\defpap \\ql \\li0\\ri0\\sa160 }\r\n"
    "{\\stylesheet{\\ql \\li0\\ri0\\sa160\\sl259\\slmult1 \\fs22 \\snext0 \\sqformat \\spriority0 "
    "Normal;}{\\s1\\ql \\b\\fs48 \\sbasedon0 \\snext0 heading 1;}}\r\n"
    "{\\*\\rsidtbl \\rsid1180411\\rsid5050040}{\\*\\generator Microsoft Word 16.0;}"
    "{\\info{\\title Secret Title}{\\author Some Author}{\\operator Someone}"
    "{\\creatim\\yr2024\\mo1\\dy2\\hr3\\min4}{\\*\\company Hidden Company}}\r\n"
    "{\\*\\xmlnstbl {\\xmlns1 http://schemas.microsoft.com/office/word/2003/wordml}}\r\n"
    "\\paperw12240\\paperh15840\\margl1440\\margr1440 \\sectd \\linex0\\endnhere\\sectdefaultcl\r\n"
    "{\\header \\pard\\plain \\ql Page header text\\par}\r\n"
    "{\\*\\pnseclvl1\\pnucrm\\pnstart1\\pnindent720\\pnhang {\\pntxta .}}\r\n"
    "\\pard\\plain \\s1\\ql \\li0\\ri0\\sb240\\sa60\\b\\f37\\fs48\\insrsid5050040 Heading "
    "{\\i nested {\\ul deeper}} back\\par\r\n"
    "\\pard\\plain \\ql \\li720\\fi-360\\f0\\fs22 {\\listtext\\pard\\plain \\f3\\fs22 \\'b7\\tab}"
    "First item\\par\r\n"
    "{\\*\\shppict{\\pict{\\*\\picprop\\shplid1025{\\sp{\\sn shapeType}{\\sv 75}}}"
    "\\picscalex100\\pngblip\\bliptag255{\\*\\blipuid 0123456789abcdef}"
    "89504e470d0a1a0a0000000d4948445200000001}}"
    "{\\nonshppict{\\pict\\wmetafile8 0100090000 picture bytes}}\r\n"
    "After the picture {\\field{\\*\\fldinst {HYPERLINK \"http://example.org/\"}}{\\fldrslt {link "
    "text}}} done.\\par\r\n"
    "{\\*\\themedata 504b030414000600080000002100e9de0fbfff0000001c020000130000005b436f6e}\r\n"
    "{\\*\\colorschememapping 3c3f786d6c2076657273696f6e3d22312e30}\r\n"
    "{\\*\\latentstyles\\lsdstimax376\\lsdlockeddef0 {\\lsdlockedexcept \\lsdqformat1 Normal;}}\r\n"
    "{\\*\\datastore 010500000200000018000000}\r\n"
    "\\pard Last {\\v hidden words}paragraph\\par\r\n"
    "}";

TEST(RichText, WordPadDocumentGivesTextAndFormatting)
{
    QTextDocument document;
    RichText::read(WordPadDocument, &document);
    EXPECT_EQ(document.toPlainText(),
              QString::fromUtf8("Title\nNormal italic and underlined and red and roman.\n"
                                "Caf\u00e9 \u2014 dash \u0414\u0430 end"));

    const QTextBlock title = blockWith(document, QStringLiteral("Title"));
    ASSERT_TRUE(title.isValid());
    EXPECT_EQ(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextCharFormat titleFormat = formatOf(document, QStringLiteral("Title"));
    EXPECT_EQ(titleFormat.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(titleFormat.fontPointSize(), 16.0);
    EXPECT_EQ(titleFormat.fontFamilies().toStringList(), QStringList{QStringLiteral("Calibri")});

    const QTextCharFormat normal = formatOf(document, QStringLiteral("Normal"));
    EXPECT_EQ(normal.fontWeight(), QFont::Normal);
    EXPECT_FALSE(normal.fontItalic());
    EXPECT_DOUBLE_EQ(normal.fontPointSize(), 11.0);
    EXPECT_TRUE(formatOf(document, QStringLiteral("italic")).fontItalic());
    EXPECT_TRUE(formatOf(document, QStringLiteral("underlined")).fontUnderline());
    EXPECT_FALSE(formatOf(document, QStringLiteral(" and red")).fontUnderline());
    EXPECT_EQ(formatOf(document, QStringLiteral("red")).foreground().color(), QColor(255, 0, 0));
    EXPECT_NE(formatOf(document, QStringLiteral("end")).foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatOf(document, QStringLiteral("roman")).fontFamilies().toStringList(),
              QStringList{QStringLiteral("Times New Roman")});
    EXPECT_GT(blockWith(document, QStringLiteral("Normal")).blockFormat().bottomMargin(), 0.0);
}

TEST(RichText, WordDocumentSkipsDestinationsItDoesNotShow)
{
    QTextDocument document;
    RichText::read(WordDocument, &document);
    const QString text = document.toPlainText();
    EXPECT_EQ(text, QString::fromUtf8("Heading nested deeper back\n\u2022\tFirst item\n"
                                      "After the picture link text done.\nLast paragraph"));
    for (const char *hidden :
         {"Secret", "Author", "Hidden Company", "Normal", "heading 1", "header", "panose", "0202",
          "Helvetica", "schemas", "HYPERLINK", "504b03", "picture bytes", "89504e", "shapeType",
          "hidden words", "Microsoft Word", "lsd"}) {
        EXPECT_FALSE(text.contains(QString::fromUtf8(hidden))) << hidden;
    }
    EXPECT_FALSE(text.contains(QLatin1Char('{')));
    EXPECT_FALSE(text.contains(QLatin1Char('\\')));

    const QTextCharFormat heading = formatOf(document, QStringLiteral("Heading"));
    EXPECT_EQ(heading.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(heading.fontPointSize(), 24.0);
    EXPECT_EQ(heading.fontFamilies().toStringList(), QStringList{QStringLiteral("Calibri")});
    const QTextCharFormat nested = formatOf(document, QStringLiteral("nested"));
    EXPECT_TRUE(nested.fontItalic());
    EXPECT_FALSE(nested.fontUnderline());
    const QTextCharFormat deeper = formatOf(document, QStringLiteral("deeper"));
    EXPECT_TRUE(deeper.fontItalic());
    EXPECT_TRUE(deeper.fontUnderline());
    EXPECT_EQ(deeper.fontWeight(), QFont::Bold);
    const QTextCharFormat back = formatOf(document, QStringLiteral("back"));
    EXPECT_FALSE(back.fontItalic());
    EXPECT_EQ(back.fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(document, QStringLiteral("First")).fontWeight(), QFont::Normal);

    const QTextBlock item = blockWith(document, QStringLiteral("First item"));
    EXPECT_DOUBLE_EQ(item.blockFormat().leftMargin(), 48.0);
    EXPECT_DOUBLE_EQ(item.blockFormat().textIndent(), -24.0);
}

struct TextCase {
    const char *name;
    QByteArray rtf;
    const char *expected; // UTF-8
};

class RichTextCharacters : public ::testing::TestWithParam<TextCase> {};

TEST_P(RichTextCharacters, GiveTheirText)
{
    EXPECT_EQ(plain(GetParam().rtf), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RichTextCharacters,
    ::testing::Values(
        TextCase{"DefaultCodePage", "{\\rtf1 \\'80 \\'e9\\'fc \\'93q\\'94}",
                 "\u20ac \u00e9\u00fc \u201cq\u201d"},
        TextCase{"Cyrillic", "{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'e1\\'e2}", "\u0410\u0431\u0432"},
        TextCase{"CentralEuropean", "{\\rtf1\\ansi\\ansicpg1250 \\'9a\\'e8}", "\u0161\u010d"},
        TextCase{"ShiftJisPairs", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2}",
                 "\u3042\u3044"},
        TextCase{"FontCharset",
                 "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset161 "
                 "Arial Greek;}}\\f0 \\'e1 \\f1 \\'e1}",
                 "\u00e1 \u03b1"},
        TextCase{"Unicode", "{\\rtf1\\uc1 \\u20013?\\u25991?}", "\u4e2d\u6587"},
        TextCase{"UnicodeNegative", "{\\rtf1 \\u-3913?}", "\uf0b7"},
        TextCase{"UnicodeSurrogates", "{\\rtf1 \\u-10179?\\u-8704?}", "\U0001F600"},
        TextCase{"UnicodeSkipTwo", "{\\rtf1\\uc2 \\u8364 EUx}", "\u20acx"},
        TextCase{"UnicodeSkipHex", "{\\rtf1\\uc1 \\u233\\'e9 x}", "\u00e9 x"},
        TextCase{"UnicodeSkipNone", "{\\rtf1\\uc0 \\u233 x}", "\u00e9x"},
        TextCase{"UnicodeSkipScoped", "{\\rtf1 {\\uc3 \\u233 abc}\\u232?d}", "\u00e9\u00e8d"},
        TextCase{"SkipEndsAtGroup", "{\\rtf1\\uc2 {\\u233 a}bc}", "\u00e9bc"},
        TextCase{"Escapes", "{\\rtf1 a\\{b\\}c\\\\d}", "a{b}c\\d"},
        TextCase{"SpecialCharacters", "{\\rtf1 a\\~b\\-c\\_d}", "a\u00a0b\u00adc\u2011d"},
        TextCase{"Quotes",
                 "{\\rtf1 \\ldblquote x\\rdblquote  \\lquote y\\rquote  \\emdash \\endash "
                 "\\bullet}",
                 "\u201cx\u201d \u2018y\u2019 \u2014\u2013\u2022"},
        TextCase{"TabsAndLines", "{\\rtf1 a\\tab b\\line c\\par d}", "a\tb\u2028c\nd"},
        TextCase{"BackslashNewlineIsParagraph", "{\\rtf1 a\\\r\nb}", "a\nb"},
        TextCase{"LineEndsInTheFile", "{\\rtf1 one\r\ntwo\nthree}", "onetwothree"},
        TextCase{"DelimiterSpaceEaten", "{\\rtf1 \\b bold\\b0  plain}", "bold plain"},
        TextCase{"ParameterDelimiter", "{\\rtf1 \\fs20x\\fs-2y}", "xy"},
        TextCase{"IgnorableUnknown", "{\\rtf1 a{\\*\\unknownthing text}b}", "ab"},
        TextCase{"UnknownWordKeepsText", "{\\rtf1 a{\\unknownword text}b}", "atextb"},
        TextCase{"Binary", "{\\rtf1 a{\\pict\\bin5 }}}{{b}c}", "ac"},
        TextCase{"Hidden", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}", "abd"},
        TextCase{"TableCells", "{\\rtf1 \\trowd a\\cell b\\cell\\row c}", "a\tb\t\nc"},
        TextCase{"Plain", "{\\rtf1 {\\b\\plain x}}", "x"}),
    [](const ::testing::TestParamInfo<TextCase> &info) { return std::string(info.param.name); });

TEST(RichText, ColourTableAutoEntryAndBackground)
{
    QTextDocument document;
    RichText::read("{\\rtf1{\\colortbl;\\red0\\green128\\blue0;\\red1\\green2\\blue3;}"
                   "\\cf1 green\\cf0  auto \\cf2\\cb1 both\\cf9  outside}",
                   &document);
    EXPECT_EQ(formatOf(document, QStringLiteral("green")).foreground().color(), QColor(0, 128, 0));
    EXPECT_EQ(formatOf(document, QStringLiteral("auto")).foreground().style(), Qt::NoBrush);
    const QTextCharFormat both = formatOf(document, QStringLiteral("both"));
    EXPECT_EQ(both.foreground().color(), QColor(1, 2, 3));
    EXPECT_EQ(both.background().color(), QColor(0, 128, 0));
    EXPECT_EQ(formatOf(document, QStringLiteral("outside")).foreground().style(), Qt::NoBrush);
}

TEST(RichText, BrokenInputKeepsTheText)
{
    // Too many closing braces, too few, and files cut off anywhere.
    EXPECT_EQ(plain("{\\rtf1 one {\\b two}} three}}} four"), QStringLiteral("one two three four"));
    EXPECT_EQ(plain("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Hello {\\b wor"),
              QStringLiteral("Hello wor"));
    EXPECT_EQ(plain("{\\rtf1 Hello\\pa"), QStringLiteral("Hello"));
    EXPECT_EQ(plain("{\\rtf1 Hello\\"), QStringLiteral("Hello"));
    EXPECT_EQ(plain("{\\rtf1 Hello\\'"), QStringLiteral("Hello"));
    EXPECT_EQ(plain("{\\rtf1 Hello\\'4"), QStringLiteral("Hello"));
    EXPECT_EQ(plain("{\\rtf1 Hello\\u"), QStringLiteral("Hello"));
    EXPECT_EQ(plain("{\\rtf1 Hello\\'zz"), QStringLiteral("Hellozz"));
    EXPECT_EQ(plain("{\\rtf1 a\\bin999999999"), QStringLiteral("a"));
    EXPECT_EQ(plain("{\\rtf1{\\fonttbl{\\f0 Arial"), QString());
    EXPECT_TRUE(plain("{\\rtf1 \\fs999999999999999999 big \\u99999999999 x}")
                    .startsWith(QStringLiteral("big ")));

    QByteArray deep = "{\\rtf1 ";
    for (int i = 0; i < 20000; ++i)
        deep += "{\\b ";
    deep += "deep";
    EXPECT_EQ(plain(deep), QStringLiteral("deep"));
}

TEST(RichText, EveryPrefixOfADocumentReadsWithoutHarm)
{
    // Cut the document after every byte: what was complete stays readable.
    const QByteArray full = WordDocument;
    for (qsizetype length = 0; length <= full.size(); ++length) {
        QTextDocument document;
        RichText::read(full.left(length), &document);
        if (length > full.indexOf("First item") + 10) {
            EXPECT_TRUE(document.toPlainText().contains(QStringLiteral("First item"))) << length;
        }
    }
    // And random damage does no harm either.
    QRandomGenerator random(12345);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = WordPadDocument;
        for (int i = 0; i < 8; ++i) {
            const int at = random.bounded(static_cast<int>(damaged.size()));
            static const char pieces[] = "{}\\'*u-09 ;";
            damaged[at] = pieces[random.bounded(static_cast<int>(sizeof(pieces) - 1))];
        }
        QTextDocument document;
        RichText::read(damaged, &document);
    }
}

TEST(RichText, DataThatIsNotRtfIsShownAsPlainText)
{
    EXPECT_FALSE(RichText::isRtf("plain words"));
    EXPECT_TRUE(RichText::isRtf("\r\n {\\rtf1}"));
    EXPECT_EQ(plain("plain {words}\nline two"), QStringLiteral("plain {words}\nline two"));
    EXPECT_EQ(plain("caf\xc3\xa9"), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(plain("caf\xe9"), QString::fromUtf8("caf\u00e9"));
}

TEST(RichText, DecodesCodePages)
{
    EXPECT_EQ(RichText::decodeCodePage("\x80\x81\xff", 1252),
              QString::fromUtf8("\u20ac\u0081\u00ff"));
    EXPECT_EQ(RichText::decodeCodePage("\xc0", 1251), QString::fromUtf8("\u0410"));
    // An unknown code page reads as Windows-1252.
    EXPECT_EQ(RichText::decodeCodePage("\x80", 99999), QString::fromUtf8("\u20ac"));
}

TEST(RichText, HelpFileReads)
{
    const QByteArray data = testsupport::readFile(QStringLiteral(QUARROW_HELP_RTF));
    ASSERT_FALSE(data.isEmpty());
    ASSERT_TRUE(RichText::isRtf(data));
    QTextDocument document;
    RichText::read(data, &document);
    const QString text = document.toPlainText();
    for (const char *expected :
         {"Quarrow", "Browser", "Source Code", "Images", "Back Directory", "Send to Browser",
          "Add program to IE Tools Menu", "Remove Program from IE Tools Menu", "View Help",
          "About this software", "Show at Startup", "source.htm", "imagepage.html",
          "checkImages.txt", "Ctrl+L", "F5", "Alt+Left"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }
    // No markup leaks into the text, and the non-ASCII characters arrive.
    EXPECT_FALSE(text.contains(QLatin1Char('\\')));
    EXPECT_FALSE(text.contains(QLatin1Char('{')));
    EXPECT_FALSE(text.contains(QLatin1Char('}')));
    EXPECT_FALSE(text.contains(QStringLiteral("rtf1")));
    EXPECT_TRUE(text.contains(QChar(0x2014)));
    EXPECT_TRUE(text.contains(QChar(0x201C)));
    EXPECT_FALSE(text.contains(QChar(QChar::ReplacementCharacter)));
    EXPECT_GT(document.blockCount(), 30);

    // The first line is a heading: bold and larger than the body text.
    const QTextCharFormat heading = formatOf(document, document.begin().text().left(5));
    const QTextCharFormat body = formatOf(document, QStringLiteral("Show at Startup"));
    EXPECT_EQ(heading.fontWeight(), QFont::Bold);
    EXPECT_GT(heading.fontPointSize(), body.fontPointSize());
}

TEST(RichTextBox, StartsWithItsNameInMsSansSerif)
{
    RichTextBox box;
    EXPECT_TRUE(box.isReadOnly());
    EXPECT_EQ(box.toPlainText(), QStringLiteral("RichTextBox1"));
    const QTextCharFormat format = formatOf(*box.document(), QStringLiteral("RichTextBox1"));
    EXPECT_EQ(format.fontFamilies().toStringList(), QStringList{QStringLiteral("MS Sans Serif")});
    EXPECT_DOUBLE_EQ(format.fontPointSize(), 8.5);
    EXPECT_TRUE(box.FileName().isEmpty());
}

TEST(RichTextBox, FileNameLoadsTheFile)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("doc.rtf"));
    ASSERT_TRUE(testsupport::writeFile(path, WordPadDocument));
    RichTextBox box;
    EXPECT_FALSE(box.setFileName(folder.filePath(QStringLiteral("missing.rtf"))));
    EXPECT_EQ(box.toPlainText(), QStringLiteral("RichTextBox1"));
    EXPECT_TRUE(box.FileName().isEmpty());

    EXPECT_TRUE(box.setFileName(path));
    EXPECT_EQ(box.FileName(), path);
    EXPECT_TRUE(box.toPlainText().startsWith(QStringLiteral("Title\nNormal italic")));
}

} // namespace

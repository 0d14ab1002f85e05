// The Source Code view's page as the engine shows it: numbers that run on from
// block to block, that are not part of the text, and lines that wrap or not as the
// root's class says.
#include "harvest/SourceView.h"
#include "tests/support/Eventually.h"

#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace {

class SourceViewInEngine : public ::testing::Test {
protected:
    void load(const QByteArray &html)
    {
        m_view.resize(800, 600);
        m_view.show();
        QSignalSpy loaded(m_view.page(), &QWebEnginePage::loadFinished);
        m_view.setHtml(QString::fromUtf8(html));
        ASSERT_TRUE(loaded.wait(20000));
        ASSERT_TRUE(loaded.first().first().toBool());
    }
    QVariant run(const QString &script)
    {
        QVariant result;
        bool done = false;
        m_view.page()->runJavaScript(script, [&](const QVariant &value) {
            result = value;
            done = true;
        });
        QUARROW_WAIT_UNTIL(done, 10000);
        EXPECT_TRUE(done) << "no answer to " << script.toStdString();
        return result;
    }

    QWebEngineView m_view;
};

// 1000 lines without a digit, the second one long, so that any digit of the
// document's text is a line number that leaked into it.
QByteArray lines()
{
    QByteArray text;
    for (int i = 0; i < 1000; ++i)
        text +=
            "<b class=x>row</b> text" + (i == 1 ? QByteArray(3000, 'w') : QByteArray()) + "\r\n";
    return text;
}

TEST_F(SourceViewInEngine, NumbersRunOnAcrossBlocksOutsideTheText)
{
    QByteArray page;
    {
        harvest::ByteArraySink sink(page);
        harvest::WriteSourceView(lines(), {}, sink);
    }
    load(page);
    // Lines 400, 401 and 402 get numbers of their own widths, every other line one
    // of one character: the widths in characters tell which numbers the lines got.
    const QVariant widths = run(QStringLiteral(R"JS(
(function () {
    var style = document.createElement('style');
    style.textContent = '@counter-style probe{system:fixed 400;symbols:"A" "BBBBBB" "CCC";' +
        'fallback:other}@counter-style other{system:cyclic;symbols:"-"}' +
        '.b>div::before{content:counter(l,probe)!important;width:auto!important;' +
        'padding:0!important;margin:0!important}.b>div{padding-left:0!important}';
    document.head.appendChild(style);
    var blocks = document.querySelectorAll('.b');
    var probe = document.createElement('span');
    probe.textContent = '0000000000';
    document.body.appendChild(probe);
    var ch = probe.getBoundingClientRect().width / 10;
    probe.remove();
    blocks[1].scrollIntoView();
    var width = function (line) {
        var range = document.createRange();
        range.selectNodeContents(line);
        return Math.round((range.getClientRects()[0].left -
                           line.getBoundingClientRect().left) / ch);
    };
    return [blocks.length, width(blocks[0].firstElementChild),
            width(blocks[0].lastElementChild), width(blocks[1].children[0]),
            width(blocks[1].children[1]), width(blocks[2].children[0])].join(' ');
})()
)JS"));
    EXPECT_EQ(widths.toString(), QStringLiteral("3 1 1 6 3 1"));

    // What is copied or read as text holds the lines, one a line, and no number.
    const QVariant copied = run(QStringLiteral(R"JS(
(function () {
    var selection = getSelection();
    selection.selectAllChildren(document.querySelectorAll('.b')[1]);
    var lines = selection.toString().replace(/\n$/, '').split('\n');
    return [lines.length, lines[0], /[0-9]/.test(document.body.innerText)].join('|');
})()
)JS"));
    EXPECT_EQ(copied.toString(), QStringLiteral("400|<b class=x>row</b> text|false"));
}

TEST_F(SourceViewInEngine, TheRootsClassWrapsLongLines)
{
    for (const bool wrap : {true, false}) {
        SCOPED_TRACE(wrap ? "wrapped" : "not wrapped");
        QByteArray page;
        {
            harvest::ByteArraySink sink(page);
            harvest::SourceViewOptions options;
            options.wrapLongLines = wrap;
            harvest::WriteSourceView(lines(), {}, sink, options);
        }
        load(page);
        // The white space of a line, and whether the page scrolls sideways: before,
        // with the class switched, and switched back.
        const QString state = QStringLiteral(R"JS(
            getComputedStyle(document.querySelector('.b>div')).whiteSpace + ' ' +
            (document.documentElement.scrollWidth > document.documentElement.clientWidth)
        )JS");
        const QString flip = QStringLiteral("document.documentElement.classList.toggle('wrap')");
        const QString wrapped = QStringLiteral("pre-wrap false");
        const QString unwrapped = QStringLiteral("pre true");
        EXPECT_EQ(run(state).toString(), wrap ? wrapped : unwrapped);
        run(flip);
        EXPECT_EQ(run(state).toString(), wrap ? unwrapped : wrapped);
        run(flip);
        EXPECT_EQ(run(state).toString(), wrap ? wrapped : unwrapped);
    }
}

} // namespace

#pragma once

#include <QByteArray>

// The page the inventory benchmarks read: 20,000 elements, 1,250 cards of 16
// elements and 4 pictures each (an img with a 2x candidate, an inline and a
// class background, a lazy attribute), 5,050 pictures in all.
inline QByteArray benchMarkup()
{
    QByteArray html = "<!DOCTYPE html><html><head><title>bench</title><style>\n";
    for (int i = 0; i < 50; ++i)
        html += ".bg" + QByteArray::number(i) + " { background-image: url(s/sprite" +
                QByteArray::number(i) + ".png) }\n";
    html += ".card { display: inline-block; width: 60px; height: 40px }\n</style></head><body>\n";
    for (int n = 0; n < 1250; ++n) {
        const QByteArray k = QByteArray::number(n);
        html += "<div class=\"card c" + k +
                "\">"
                "<img src=\"p/i" +
                k + ".png\" srcset=\"p/i" + k + ".png 1x, p/i" + k + "-2x.png 2x\" alt=\"picture " +
                k +
                "\" width=\"8\" height=\"8\">"
                "<div class=\"bg" +
                QByteArray::number(n % 50) + "\" style=\"background-image: url(p/b" + k +
                ".jpg); width: 8px; height: 8px\"></div>"
                "<span data-src=\"p/l" +
                k +
                ".jpg\">lazy</span>"
                "<p>Some <em>text</em> and <a href=\"page" +
                k +
                ".html\">a link</a>.</p>"
                "<ul><li>one</li><li>two <b>bold</b></li></ul>"
                "<span><i>x</i></span><section><h3>t</h3></section>"
                "</div>\n";
    }
    html += "</body></html>\n";
    return html;
}

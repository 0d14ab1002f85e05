#include "tests/harvest/PageGenerator.h"

QString PageGenerator::pick(const QStringList &choices)
{
    return choices.at(m_random.bounded(int(choices.size())));
}

QString PageGenerator::value()
{
    static const QStringList folders = {"",
                                        "",
                                        "pics/",
                                        "../",
                                        "../../",
                                        "/",
                                        "/img/",
                                        "//cdn.x/",
                                        "http://a.example/p/",
                                        "HTTPS://b.example/",
                                        "https://c.example/q/",
                                        "cgi-bin/i/",
                                        "/cgi-bin/i/x/",
                                        "javascript:",
                                        "data:image/png;base64,",
                                        "data:text/html,",
                                        "file:///tmp/",
                                        "写真/",
                                        "a/../b/",
                                        "&#106;avascript:",
                                        "vbscript:",
                                        "www.example.com/",
                                        "?u=http://z/"};
    static const QStringList names = {"a.gif",          "b.jpg",       "A.GIF",   "ab.gif",
                                      "xa.gif",         "c.jpeg",      "d.bmp",   "e.png",
                                      "f.html",         "a",           "lt;b",    "amp;c.gif",
                                      "a&amp;b.gif",    "猫.jpg",      "g h.gif", "",
                                      "i.gif border=0", "j.gif?v=1/2", "k.GIF",   "BR>"};
    return pick(folders) + pick(names);
}

QString PageGenerator::quoted(const QString &value)
{
    switch (m_random.bounded(5)) {
    case 0:
        return u'\'' + value + u'\'';
    case 1:
        return value;
    default:
        return u'"' + value + u'"';
    }
}

QString PageGenerator::page(int pieces)
{
    static const QStringList text = {"text ", " ",     "\r\n",       "\n",   "\r",      "<p>",
                                     "</p>",  "&amp;", "&lt;",       "<",    ">",       "\"",
                                     "'",     "a.gif", "b.jpg ",     "\t",   "日本語",  "<br>",
                                     "<a>",   "</a>",  "<img",       "<a ",  "<A ",     "<IMG ",
                                     "href=", "src=",  "cgi-bin/i/", ".gif", "lowsrc=", " alt=x"};
    QString out;
    for (int i = 0; i < pieces; ++i) {
        switch (m_random.bounded(6)) {
        case 0:
            out += pick({"<img ", "<IMG ", "<img\n", "<Img alt=\"\" "}) +
                   pick({"src=", "SRC=", "lowsrc=x src="}) + quoted(value()) +
                   pick({">", " width=2>", "", "\r\n>", " border=0>"});
            break;
        case 1:
            out += pick({"<a ", "<A ", "<a\t", "<a name=x>y</a><b "}) + pick({"href=", "HREF="}) +
                   quoted(value()) + pick({">", " target=_blank>", "", "\r\n>"}) +
                   pick({"x", "photo.jpg", "<img src=\"t.gif\">", ""}) + pick({"</a>", ""});
            break;
        default:
            out += pick(text);
        }
    }
    return out;
}

QString PageGenerator::pageUrl()
{
    return pick({"http://www.example.com/dir/page.html", "http://www.example.com/dir/",
                 "http://www.example.com", "HTTP://Host/a/b/c.html",
                 "https://secure.example.com/s/l.html", "https://secure.example.com",
                 "file:///tmp/site/page.html", "file:///", "http://hometown.aol.com/u/p.html", "",
                 "page.html", "www.example.com/a/", "about:blank", "http://h/a.html?u=http://x/y"});
}

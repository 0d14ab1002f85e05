#include "platform/SkinControl.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QRegularExpression>
#include <QStyle>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char *const skinnedProperty = "quarrowSkinned";

// A colour written as #RRGGBB, a colour name, or a number 0xRRGGBB / decimal.
QColor parseColour(const QString &text)
{
    const QString value = text.trimmed();
    if (value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        bool ok = false;
        const uint number = value.mid(2).toUInt(&ok, 16);
        return ok ? QColor::fromRgb(QRgb(0xff000000u | number)) : QColor();
    }
    bool ok = false;
    const uint number = value.toUInt(&ok, 10);
    if (ok)
        return QColor::fromRgb(QRgb(0xff000000u | number));
    return QColor::fromString(value);
}

#ifdef _WIN32
// Windows 11 draws the caption and border of a window in a chosen colour
// (DWMWA_BORDER_COLOR 34, DWMWA_CAPTION_COLOR 35, DWMWA_TEXT_COLOR 36). Older
// systems refuse the attribute, which is harmless.
void tintFrame(QWidget *window, const QColor &caption, const QColor &text)
{
    using SetAttribute = HRESULT(WINAPI *)(HWND, DWORD, LPCVOID, DWORD);
    static HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    if (!dwm || !caption.isValid())
        return;
    FARPROC proc = GetProcAddress(dwm, "DwmSetWindowAttribute");
    if (!proc)
        return;
    auto set = reinterpret_cast<SetAttribute>(reinterpret_cast<void (*)()>(proc));
    const HWND hwnd = reinterpret_cast<HWND>(window->winId());
    const DWORD captionRef = RGB(caption.red(), caption.green(), caption.blue());
    set(hwnd, 34, &captionRef, sizeof captionRef);
    set(hwnd, 35, &captionRef, sizeof captionRef);
    if (text.isValid()) {
        const DWORD textRef = RGB(text.red(), text.green(), text.blue());
        set(hwnd, 36, &textRef, sizeof textRef);
    }
}
#endif

} // namespace

SkinControl::SkinControl(QObject *parent) : QObject(parent)
{
    load(defaultDefinition());
}

QString SkinControl::defaultDefinition()
{
    return QStringLiteral(":/app/skin/quarrow.skin");
}

bool SkinControl::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        loadText(QString());
        return false;
    }
    loadText(QString::fromUtf8(file.readAll()));
    return true;
}

void SkinControl::loadText(const QString &definition)
{
    m_colours.clear();
    m_look.clear();
    m_fonts.clear();
    m_style.clear();
    m_baseStyle.clear();

    enum class Section { None, Colours, Look, Base, Fonts, Style };
    Section section = Section::None;
    QStringList style;
    const QStringList lines = definition.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        QString line = raw;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (section == Section::Style) {
            style.append(line);
            continue;
        }
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            const QString name = trimmed.mid(1, trimmed.size() - 2).trimmed().toLower();
            if (name == QLatin1String("colours") || name == QLatin1String("colors"))
                section = Section::Colours;
            else if (name == QLatin1String("look"))
                section = Section::Look;
            else if (name == QLatin1String("base"))
                section = Section::Base;
            else if (name == QLatin1String("fonts"))
                section = Section::Fonts;
            else if (name == QLatin1String("style"))
                section = Section::Style;
            else
                section = Section::None;
            continue;
        }
        const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = trimmed.left(equals).trimmed();
        const QString value = trimmed.mid(equals + 1).trimmed();
        switch (section) {
        case Section::Colours: {
            bool ok = false;
            const int id = key.toInt(&ok);
            const QColor colour = parseColour(value);
            if (ok && colour.isValid())
                m_colours.insert(id, colour.rgb() & 0x00ffffffu);
            break;
        }
        case Section::Look: {
            const QColor colour = parseColour(value);
            if (colour.isValid())
                m_look.insert(key, colour);
            break;
        }
        case Section::Base:
            if (key == QLatin1String("style"))
                m_baseStyle = value;
            break;
        case Section::Fonts: {
            QStringList substitutes;
            for (const QString &family : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                substitutes.append(family.trimmed());
            m_fonts.insert(key, substitutes);
            break;
        }
        case Section::None:
        case Section::Style:
            break;
        }
    }
    m_style = style.join(QLatin1Char('\n'));

    // Designs name fonts of their home platform; point those names at what
    // this system has.
    for (auto it = m_fonts.cbegin(); it != m_fonts.cend(); ++it)
        QFont::insertSubstitutions(it.key(), it.value());
}

quint32 SkinControl::colour(int dispatchId) const
{
    return m_colours.value(dispatchId, 0);
}

QColor SkinControl::look(const QString &name) const
{
    return m_look.value(name);
}

QPalette SkinControl::palette() const
{
    QPalette pal;
    auto set = [&pal](QPalette::ColorRole role, const QColor &colour) {
        if (colour.isValid())
            pal.setColor(role, colour);
    };
    auto fromId = [this](int id) {
        return m_colours.contains(id) ? QColor::fromRgb(QRgb(0xff000000u | m_colours.value(id)))
                                      : QColor();
    };
    const QColor window = look(QStringLiteral("window"));
    const QColor border = look(QStringLiteral("border"));
    set(QPalette::Window, window);
    set(QPalette::WindowText, look(QStringLiteral("windowText")));
    set(QPalette::Button, fromId(2));
    set(QPalette::ButtonText, look(QStringLiteral("buttonText")));
    set(QPalette::Base, fromId(2));
    set(QPalette::AlternateBase, window);
    set(QPalette::Text, fromId(3));
    set(QPalette::Highlight, look(QStringLiteral("accent")));
    set(QPalette::HighlightedText, look(QStringLiteral("accentText")));
    set(QPalette::ToolTipBase, look(QStringLiteral("tooltip")));
    set(QPalette::ToolTipText, look(QStringLiteral("tooltipText")));
    set(QPalette::Link, look(QStringLiteral("accent")));
    set(QPalette::LinkVisited, look(QStringLiteral("accentDark")));
    if (window.isValid()) {
        pal.setColor(QPalette::Light, window.lighter(125));
        pal.setColor(QPalette::Midlight, window.lighter(110));
    }
    if (border.isValid()) {
        pal.setColor(QPalette::Mid, border);
        pal.setColor(QPalette::Dark, border.darker(130));
        pal.setColor(QPalette::Shadow, border.darker(180));
    }
    const QColor disabled = look(QStringLiteral("disabledText"));
    if (disabled.isValid()) {
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                         QPalette::PlaceholderText})
            pal.setColor(QPalette::Disabled, role, disabled);
        pal.setColor(QPalette::Inactive, QPalette::PlaceholderText, disabled);
        pal.setColor(QPalette::Active, QPalette::PlaceholderText, disabled);
    }
    return pal;
}

QString SkinControl::styleSheet() const
{
    static const QRegularExpression name(QStringLiteral("@([A-Za-z][A-Za-z0-9_]*)"));
    QString out;
    qsizetype last = 0;
    for (auto it = name.globalMatch(m_style); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += QStringView(m_style).mid(last, match.capturedStart() - last);
        const QColor colour = look(match.captured(1));
        out += colour.isValid() ? colour.name() : match.captured(0);
        last = match.capturedEnd();
    }
    out += QStringView(m_style).mid(last);
    return out;
}

void SkinControl::skinWindow(QWidget *window)
{
    if (!window)
        return;
    // Marked first: restyling polishes the window again, and the skin helper
    // must not take that for a new window.
    window->setProperty(skinnedProperty, true);
    // The style sheet leaves the controls that carry the skin's colours to
    // the base style, which must draw from the palette; Fusion does.
    if (!m_baseStyle.isEmpty() && qobject_cast<QApplication *>(QCoreApplication::instance()) &&
        QApplication::style()->name().compare(m_baseStyle, Qt::CaseInsensitive) != 0)
        QApplication::setStyle(m_baseStyle);
    window->setPalette(palette());
    window->setStyleSheet(styleSheet());
#ifdef _WIN32
    tintFrame(window, look(QStringLiteral("accent")), look(QStringLiteral("accentText")));
#endif
}

bool SkinControl::isSkinned(const QWidget *window)
{
    return window && window->property(skinnedProperty).toBool();
}

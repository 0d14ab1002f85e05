#include "windows/Skinning.h"

#include "platform/SkinControl.h"
#include "platform/SkinHelper.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QtEndian>

#include <exception>

#ifdef _WIN32
#include <windows.h>
#endif

SkinHelper *SkinHelperObject()
{
    static SkinHelper *helper = new SkinHelper;
    return helper;
}

namespace {

// How Qt's widget classes map onto the type names the skin knows, first
// match wins (so subclasses come before their base classes). "container"
// says whether the controls inside the widget are controls of the window
// too; a control that is not a container keeps its inner widgets to itself.
struct ControlType {
    const char *className;
    const char *typeName;
    bool container;
};

const ControlType controlTypes[] = {
    {"SkinLabel", "SkinLabel", false},
    {"RichTextBox", "RichTextBox", false}, // the help window's rich-text box
    {"QTextBrowser", "RichTextBox", false},
    {"QPushButton", "CommandButton", false},
    {"QToolButton", "CommandButton", false},
    {"QCheckBox", "CheckBox", false},
    {"QRadioButton", "OptionButton", false},
    {"QLineEdit", "TextBox", false},
    {"QTextEdit", "TextBox", false},
    {"QPlainTextEdit", "TextBox", false},
    {"QAbstractSpinBox", "TextBox", false},
    {"QComboBox", "ComboBox", false},
    {"QListView", "ListBox", false},  // QListWidget too
    {"QTreeView", "ListView", false}, // QTreeWidget too
    {"QTableView", "ListView", false},
    {"QLabel", "Label", false}, // "PictureBox" when it shows a picture, see below
    {"QTabWidget", "TabStrip", true},
    {"QTabBar", "TabStrip", false},
    {"StatusBar", "StatusBar", false}, // the main window's panels
    {"QStatusBar", "StatusBar", false},
    {"TabStrip", "TabStrip", false},
    {"QProgressBar", "ProgressBar", false},
    {"QMenuBar", "Menu", false},
    {"QWebEngineView", "WebBrowser", false},
    {"QScrollBar", "ScrollBar", false},
    {"QAbstractSlider", "Slider", false},
    {"QGroupBox", "Frame", true},
    {"QFrame", "Frame", true}, // plain frames and lines
};

const ControlType *typeOf(const QWidget *control)
{
    for (const ControlType &type : controlTypes) {
        if (control->inherits(type.className))
            return &type;
    }
    return nullptr;
}

// Which colour roles "BackColor" and "ForeColor" stand for on each type.
QList<QPalette::ColorRole> backRoles(const QString &type)
{
    if (type == QLatin1String("CommandButton"))
        return {QPalette::Button};
    if (type == QLatin1String("ComboBox"))
        return {QPalette::Button, QPalette::Base};
    if (type == QLatin1String("PictureBox"))
        return {QPalette::Window};
    return {QPalette::Base};
}

QList<QPalette::ColorRole> foreRoles(const QString &type)
{
    if (type == QLatin1String("ComboBox"))
        return {QPalette::ButtonText, QPalette::Text};
    return {QPalette::Text};
}

// The colouring table: type names and what they get.
enum class Paint { Nothing, Back, BackAndFore };

Paint paintFor(const QString &type)
{
    static const QHash<QString, Paint> table = {
        {QStringLiteral("CommandButton"), Paint::Back},
        {QStringLiteral("TextBox"), Paint::BackAndFore},
        {QStringLiteral("ComboBox"), Paint::BackAndFore},
        {QStringLiteral("ListBox"), Paint::BackAndFore},
        {QStringLiteral("ListView"), Paint::BackAndFore},
        {QStringLiteral("PictureBox"), Paint::Back},
    };
    return table.value(type, Paint::Nothing);
}

QColor toColour(quint32 rgb)
{
    return QColor::fromRgb(QRgb(0xff000000u | (rgb & 0x00ffffffu)));
}

void setRoles(QWidget *control, const QList<QPalette::ColorRole> &roles, const QColor &colour)
{
    // A list or text box paints through its viewport. Once a style sheet has
    // polished the viewport it keeps a palette of its own, so the colour goes
    // there too, or a window skinned before its colouring would not show it.
    QList<QWidget *> targets{control};
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
        targets.append(area->viewport());
    for (QWidget *target : targets) {
        QPalette pal = target->palette();
        for (QPalette::ColorRole role : roles)
            pal.setColor(role, colour);
        target->setPalette(pal);
    }
    if (roles.contains(QPalette::Window))
        control->setAutoFillBackground(true);
}

void collectControls(QWidget *parent, QList<QWidget *> &out)
{
    for (QObject *child : parent->children()) {
        if (!child->isWidgetType())
            continue;
        auto *widget = static_cast<QWidget *>(child);
        if (widget->isWindow())
            continue;
        const QString type = ControlTypeName(widget);
        if (!type.isEmpty())
            out.append(widget);
        const ControlType *known = typeOf(widget);
        const bool ownTypeName = widget->property("controlType").isValid();
        if (type.isEmpty() || ownTypeName || (known && known->container))
            collectControls(widget, out);
    }
}

// The entries of an icon file's directory: size and colour depth per image.
struct IconEntry {
    int size;
    int bitsPerPixel;
};

QList<IconEntry> iconDirectory(const QByteArray &file)
{
    QList<IconEntry> entries;
    if (file.size() < 6 || qFromLittleEndian<quint16>(file.constData() + 2) != 1)
        return entries;
    const int count = qFromLittleEndian<quint16>(file.constData() + 4);
    for (int i = 0; i < count && 6 + 16 * (i + 1) <= file.size(); ++i) {
        const char *entry = file.constData() + 6 + 16 * i;
        const int width = quint8(entry[0]) == 0 ? 256 : quint8(entry[0]);
        entries.append({width, qFromLittleEndian<quint16>(entry + 6)});
    }
    return entries;
}

} // namespace

QString ControlTypeName(const QWidget *control)
{
    if (!control)
        return QString();
    const QVariant own = control->property("controlType");
    if (own.isValid())
        return own.toString();
    const ControlType *type = typeOf(control);
    if (!type)
        return QString();
    // A plain label that shows a picture plays the part of a picture box.
    if (qstrcmp(type->typeName, "Label") == 0) {
        const auto *label = static_cast<const QLabel *>(control);
        if (!label->pixmap().isNull() && label->text().isEmpty())
            return QStringLiteral("PictureBox");
    }
    return QString::fromLatin1(type->typeName);
}

QList<QWidget *> FormControls(QWidget *form)
{
    QList<QWidget *> controls;
    if (form)
        collectControls(form, controls);
    return controls;
}

void ApplySkin(QWidget *form, SkinControl *skin)
{
    if (!form)
        return;
    // Skinning is best effort: whatever fails leaves the window's plain look.
    try {
        if (skin) {
            const quint32 c2 = skin->colour(2);
            const quint32 c3 = skin->colour(3);
            const quint32 c4 = skin->colour(4);
            ColorControls(form, c2, c3, c4);
        }
    } catch (const std::exception &) {
    }
    try {
        if (skin)
            skin->skinWindow(form);
    } catch (const std::exception &) {
    }
}

void ColorControls(QWidget *form, quint32 c2, quint32 c3, quint32 c4)
{
    for (QWidget *control : FormControls(form)) {
        const QString type = ControlTypeName(control);
        switch (paintFor(type)) {
        case Paint::Nothing:
            break;
        case Paint::Back:
            setRoles(control, backRoles(type),
                     toColour(type == QLatin1String("PictureBox") ? c4 : c2));
            break;
        case Paint::BackAndFore:
            setRoles(control, backRoles(type), toColour(c2));
            setRoles(control, foreRoles(type), toColour(c3));
            break;
        }
    }
}

void MirrorLabels(QWidget *form, SkinLabelArray &SkinLabel1)
{
    if (!form)
        return;
    for (QWidget *control : FormControls(form)) {
        if (ControlTypeName(control) != QLatin1String("Label"))
            continue;
        auto *label = static_cast<QLabel *>(control);
        const int index = int(SkinLabel1.size());
        auto *skin = new SkinLabel(label->parentWidget());
        skin->setObjectName(QStringLiteral("SkinLabel1_%1").arg(index));
        SkinLabel1.push_back(skin);
        skin->mirror(label);
    }
}

QIcon IconGroup(const QString &resourceName)
{
    QIcon icon;
    QFile file(QStringLiteral(":/app/icons/%1.ico").arg(resourceName));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        const QList<IconEntry> entries = iconDirectory(bytes);
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        // The deepest image of each size.
        QHash<int, int> best; // size -> index into entries
        for (int i = 0; i < entries.size(); ++i) {
            const auto taken = best.constFind(entries[i].size);
            if (taken == best.cend() || entries[*taken].bitsPerPixel < entries[i].bitsPerPixel)
                best.insert(entries[i].size, i);
        }
        QImageReader reader(&buffer, "ico");
        for (int i = 0; i < entries.size(); ++i) {
            if (best.value(entries[i].size, -1) != i || !reader.jumpToImage(i))
                continue;
            const QImage image = reader.read();
            if (!image.isNull())
                icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

void SetWindowIcons(QWidget *window, const QString &resourceName, bool alsoOwner)
{
    if (!window)
        return;
    // The icon carries every size of the group, the large (the system's
    // large-icon size) and the small one among them.
    const QIcon icon = IconGroup(resourceName);
    QWidget *target = window->window();
    if (alsoOwner) {
        QWidget *owner = target;
        while (owner->parentWidget())
            owner = owner->parentWidget()->window();
        if (owner != target)
            owner->setWindowIcon(icon);
    }
    target->setWindowIcon(icon);
}

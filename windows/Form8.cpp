#include "windows/Form8.h"

#include "platform/ProgramFolder.h"
#include "platform/RichTextBox.h"
#include "platform/SettingsStore.h"
#include "platform/Twips.h"
#include "windows/FileUtils.h"
#include "windows/Skinning.h"
#include "windows/WindowPlacement.h"

#include <QCheckBox>
#include <QDir>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

#include <cmath>

namespace {

// A blue rounded square with a white question mark, drawn at any size.
QPixmap drawHelpIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(0.5, 0.5, size - 1.0, size - 1.0);
    QLinearGradient fill(frame.topLeft(), frame.bottomLeft());
    fill.setColorAt(0.0, QColor(0x4F, 0x8F, 0xD8));
    fill.setColorAt(1.0, QColor(0x1F, 0x49, 0x7D));
    painter.setPen(QPen(QColor(0x17, 0x36, 0x5D), std::max(1.0, size / 24.0)));
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, size * 0.2, size * 0.2);
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Verdana")});
    font.setBold(true);
    font.setPixelSize(std::lround(size * 0.78));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 0, size, size * 1.02), Qt::AlignCenter, QStringLiteral("?"));
    return pixmap;
}

} // namespace

Form8::Form8(const QString &productName, SkinControl *skin, QWidget *parent)
    : QWidget(parent, Qt::Window), m_product(productName)
{
    setObjectName(QStringLiteral("Form8"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Readme/Help"));
    setWindowIcon(helpIcon());
    setFixedSize(Twips::toPixelsX(10290), Twips::toPixelsY(7920));

    rtf1 = new RichTextBox(this);
    rtf1->setObjectName(QStringLiteral("rtf1"));
    Twips::place(rtf1, 0, 0, 10275, 7515);

    Check1 = new QCheckBox(QStringLiteral("Show at Startup"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Verdana"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(8.25);
    Check1->setFont(font);
    Twips::place(Check1, 60, 7620, 1995, 255);
    // Wide enough for its caption in whatever font stands in.
    Check1->resize(std::max(Check1->width(), Check1->sizeHint().width()), Check1->height());

    // The grey third state is only ever set from the stored value: a click
    // takes the box back to plain ticked and clear.
    connect(Check1, &QCheckBox::pressed, this, [this] { Check1->setTristate(false); });
    // Every change of the value stores it, the one the load makes included.
    connect(Check1, &QCheckBox::stateChanged, this, [this] { Check1_Click(); });
    CloseWithKeys(this);

    Form_Load(skin);
}

QString Form8::helpFilePath()
{
    return ProgramFolder::path() + QStringLiteral("/Help.rtf");
}

QString Form8::missingHelpText(const QString &path)
{
    return QStringLiteral("The help file is missing: it was looked for at %1")
        .arg(QDir::toNativeSeparators(path));
}

std::optional<int> Form8::checkValueOfSetting(const QString &text)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    // Halves round to the even neighbour.
    const double rounded = std::nearbyint(number);
    if (rounded < -32768 || rounded > 32767)
        return std::nullopt;
    const int value = static_cast<int>(rounded);
    if (value < 0 || value > 2)
        return std::nullopt;
    return value;
}

QIcon Form8::helpIcon()
{
    // The icon shipped with the pictures when there is one; drawn otherwise.
    QIcon icon;
    const QPixmap shipped(QStringLiteral(":/app/icons/help24.png"));
    icon.addPixmap(shipped.isNull() ? drawHelpIcon(24) : shipped);
    icon.addPixmap(drawHelpIcon(48));
    return icon;
}

bool Form8::showAtStartup(const QString &productName)
{
    // Only a plain tick opens it: the grey third state is no yes.
    return checkValueOfSetting(Settings(productName).showHelpText()) == 1;
}

void Form8::Form_Load(SkinControl *skin)
{
    // Failures here are not reported: the window shows what it could load.
    ApplySkin(this, skin);

    const QString path = helpFilePath();
    if (FileExists(path)) {
        rtf1->setFileName(path);
        SetTopMost(this);
    } else {
        // Better a line that says what is wrong than an empty window.
        rtf1->setPlainText(missingHelpText(path));
    }

    if (const std::optional<int> value = checkValueOfSetting(Settings(m_product).showHelpText()))
        setCheckValue(*value);
}

void Form8::Check1_Click()
{
    Settings(m_product).setShowHelp(checkValue());
}

void Form8::setCheckValue(int value)
{
    if (value == 2) {
        Check1->setTristate(true);
        Check1->setCheckState(Qt::PartiallyChecked);
    } else {
        Check1->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
    }
}

int Form8::checkValue() const
{
    switch (Check1->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

Form8 *ShowHelpWindow(QPointer<Form8> &window, const QString &productName, SkinControl *skin,
                      QWidget *owner)
{
    if (!window) {
        window = new Form8(productName, skin, owner);
        CentreOverOwner(window, owner);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

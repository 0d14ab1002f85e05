#include "windows/frmAbout.h"

#include "platform/Twips.h"
#include "platform/VersionInfo.h"
#include "windows/Skinning.h"
#include "windows/WindowPlacement.h"
#include "windows/frmWebsite.h"

#include <QAction>
#include <QPixmap>
#include <QPushButton>

namespace {

// Window layout in twips, as the rest of the program keeps its geometry.
constexpr double ClientWidth = 7200;
constexpr double ClientHeight = 4200;
constexpr double CaptionLeft = 2640;
constexpr double ValueLeft = 4080;
constexpr double RowHeight = 285;

QFont verdana(double points, bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

template <typename Label> Label *makeLabel(QWidget *parent, const char *name, const QFont &font)
{
    auto *label = new Label(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

} // namespace

frmAbout::frmAbout(const Branding &branding, SkinControl *skin, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Form2"));
    setFont(verdana(8.25));
    setFixedSize(Twips::toPixelsX(ClientWidth), Twips::toPixelsY(ClientHeight));

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setAlignment(Qt::AlignCenter);
    Twips::place(Picture1, 240, 240, 2160, 2160);
    const QPixmap picture(pictureResource());
    if (!picture.isNull())
        Picture1->setPixmap(
            picture.scaled(Picture1->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    Label1 = makeLabel<SkinLabel>(this, "Label1", verdana(15, true));
    Twips::place(Label1, CaptionLeft, 300, 4320, 540);

    Label2 = makeLabel<QLabel>(this, "Label2", verdana(8.25, true));
    Label2->setText(QStringLiteral("Version:"));
    Twips::place(Label2, CaptionLeft, 1140, ValueLeft - CaptionLeft, RowHeight);
    lblVersion = makeLabel<SkinLabel>(this, "lblVersion", verdana(8.25));
    Twips::place(lblVersion, ValueLeft, 1140, ClientWidth - ValueLeft - 240, RowHeight);

    Label3 = makeLabel<QLabel>(this, "Label3", verdana(8.25, true));
    Label3->setText(QStringLiteral("Owned By:"));
    Twips::place(Label3, CaptionLeft, 1500, ValueLeft - CaptionLeft, RowHeight);
    lblCompany = makeLabel<SkinLabel>(this, "lblCompany", verdana(8.25));
    Twips::place(lblCompany, ValueLeft, 1500, ClientWidth - ValueLeft - 240, RowHeight);

    Label4 = makeLabel<QLabel>(this, "Label4", verdana(8.25, true));
    Label4->setText(QStringLiteral("Website:"));
    Twips::place(Label4, CaptionLeft, 1860, ValueLeft - CaptionLeft, RowHeight);
    lblWebsite = makeLabel<SkinLabel>(this, "lblWebsite", verdana(8.25));
    Twips::place(lblWebsite, ValueLeft, 1860, ClientWidth - ValueLeft - 240, RowHeight);
    // A link, by mouse or by keyboard, to the program's website.
    lblWebsite->setTextFormat(Qt::RichText);
    lblWebsite->setTextInteractionFlags(Qt::TextBrowserInteraction);
    lblWebsite->setOpenExternalLinks(false);
    connect(lblWebsite, &QLabel::linkActivated, this, &frmAbout::openWebsite);

    Label5 = makeLabel<QLabel>(this, "Label5", verdana(6.75));
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Twips::place(Label5, 240, 2700, ClientWidth - 480, 720);

    auto *templateLabel = makeLabel<SkinLabel>(this, "SkinLabel1", verdana(8.25));
    Twips::place(templateLabel, 240, 3360, 315, 255);
    templateLabel->setVisible(false);
    SkinLabel1.push_back(templateLabel);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setFont(verdana(8.25));
    Twips::place(cmdOK, ClientWidth - 240 - 1215, 3660, 1215, 375);
    cmdOK->setDefault(true);
    cmdOK->setFocus(Qt::OtherFocusReason);
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);
    CloseWithKeys(this);

    Form_Load(branding, skin);
}

QString frmAbout::pictureResource()
{
    return QStringLiteral(":/app/pictures/about.png");
}

void frmAbout::Form_Load(const Branding &branding, SkinControl *skin)
{
    setWindowTitle(QStringLiteral("About ") + branding.productName);

    const VersionInfo &info = VersionInfo::current();
    Label1->setText(info.ProductName);
    lblCompany->setText(info.CompanyName);
    lblVersion->setText(info.versionText());
    m_website = info.Comments;
    const QString address = frmWebsite::WebsiteAddress(m_website);
    lblWebsite->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                            .arg(address.toHtmlEscaped(), m_website.toHtmlEscaped()));
    // The notice: the copyright line, then what the rights cover.
    Label5->setText(info.LegalCopyright + QLatin1Char('\n') +
                    QStringLiteral("This program is protected by copyright law. Copying or\n"
                                   "passing it on without the owner's permission is not allowed."));

    if (skin) {
        MirrorLabels(this, SkinLabel1);
        ApplySkin(this, skin);
    }
}

void frmAbout::openWebsite()
{
    if (m_websiteAction) {
        m_websiteAction->trigger();
        return;
    }
    ShowWebsiteWindow(m_website);
}

frmAbout *ShowAboutWindow(QPointer<frmAbout> &window, const Branding &branding, SkinControl *skin,
                          QWidget *owner)
{
    if (!window) {
        window = new frmAbout(branding, skin, owner);
        CentreOverOwner(window, owner);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

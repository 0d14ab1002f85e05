#include "shell/frmSplash.h"

#include "platform/BestEffort.h"
#include "platform/SkinControl.h"
#include "platform/SkinHelper.h"
#include "platform/Twips.h"
#include "shell/SideWindows.h"
#include "windows/Branding.h"
#include "windows/Skinning.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

frmSplash::frmSplash(const Branding &branding, SkinControl *skin, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::Tool)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_QuitOnClose, false);
    const QSize client(Twips::toPixelsX(7170), Twips::toPixelsY(4770));
    setFixedSize(client);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, client.width(), client.height());
    Image1->setPixmap(
        QPixmap(QStringLiteral(":/app/pictures/splash.jpg"))
            .scaled(client, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation));

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    QFont bold;
    bold.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    bold.setPointSizeF(9);
    bold.setBold(true);
    Label3->setFont(bold);
    Label3->setText(tr("Starting..."));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3->setGeometry(client.width() - 260, client.height() - 34, 244, 22);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(client.width() / 2, client.height() / 2));
    }

    Timer2.setInterval(2);
    Timer2.setTimerType(Qt::PreciseTimer);
    connect(&Timer2, &QTimer::timeout, this, &frmSplash::Timer2_Timer);
    SetSplash(this);
    Form_Load(branding, skin);
}

frmSplash::~frmSplash() = default;

void frmSplash::Form_Load(const Branding &branding, SkinControl *skin)
{
    Label3->setText(branding.productName + QStringLiteral(" ") + tr("is starting..."));
    if (skin) {
        ApplySkin(this, skin);
        // Without the helper the program works all the same.
        BestEffort([skin] {
            if (SkinHelper *helper = SkinHelperObject()) {
                helper->attach(skin);
                helper->start();
            }
        });
    }
    Timer2.start();
}

void frmSplash::Timer2_Timer()
{
    intTemp = static_cast<qint16>(intTemp + 2);
    if (intTemp != 150)
        return;
    Timer2.stop();
    emit timeUp();
}

#include "app/TAboutDlg.h"

#include "app/JpegImage.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

// Outside any namespace, as Qt's resource registration requires. The picture
// sits in this static library, whose resource object the linker would drop
// unless something refers to it.
static QPixmap loadAboutPicture()
{
    Q_INIT_RESOURCE(about);
    QFile file(QStringLiteral(":/about/lake.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(decodeJpeg(file.readAll()));
}

TAboutDlg::TAboutDlg(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                  | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutDlg"));
    setFixedSize(197, 209);
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPixelSize(10);
    setFont(verdana);

    PanelImage = new QFrame(this);
    PanelImage->setObjectName(QStringLiteral("PanelImage"));
    PanelImage->setFrameShape(QFrame::NoFrame);
    PanelImage->setGeometry(0, 0, 197, 144);

    ImageLake = new QLabel(PanelImage);
    ImageLake->setObjectName(QStringLiteral("ImageLake"));
    ImageLake->setGeometry(PanelImage->rect());
    ImageLake->setScaledContents(true);
    ImageLake->setPixmap(loadAboutPicture());
    ImageLake->installEventFilter(this);

    PanelText = new QFrame(this);
    PanelText->setObjectName(QStringLiteral("PanelText"));
    PanelText->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    PanelText->setGeometry(0, 144, 197, 65);

    LabelText = new QLabel(PanelText);
    LabelText->setObjectName(QStringLiteral("LabelText"));
    LabelText->setAlignment(Qt::AlignCenter);
    auto *textLayout = new QVBoxLayout(PanelText);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->addWidget(LabelText);
}

TAboutDlg::~TAboutDlg() = default;

void TAboutDlg::FormShow()
{
    setWindowTitle(QStringLiteral("O programie"));
    LabelText->setText(QStringLiteral("Hollvan dla ZMT\n"
                                      "v2.16 listopad 2007\n"
                                      "Dziękujemy autorom komponentu\n"
                                      "obsługi portu szeregowego"));
    centreOverMainWindow();
}

void TAboutDlg::ImageLakeClick()
{
    close();
}

void TAboutDlg::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

bool TAboutDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ImageLake) {
        // A click is a press and a release of the left button, both on the picture.
        if (event->type() == QEvent::MouseButtonPress) {
            imagePressed = static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const bool click = imagePressed && mouse->button() == Qt::LeftButton
                && ImageLake->rect().contains(mouse->position().toPoint());
            imagePressed = false;
            if (click)
                ImageLakeClick();
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The box is shown without an owner, so Qt would centre it on the screen;
// it belongs over the program's main window when there is one.
void TAboutDlg::centreOverMainWindow()
{
    QRect area;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow *>(widget) && widget->isVisible()) {
            area = widget->frameGeometry();
            break;
        }
    }
    if (area.isNull()) {
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        area = screen->availableGeometry();
    }
    QRect box = frameGeometry();
    box.moveCenter(area.center());
    move(box.topLeft());
}

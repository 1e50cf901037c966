#include "app/TAboutDlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <QTimer>

TEST(AboutDlg, ShowsTheProgramAndClosesOnAClickOnThePicture)
{
    TAboutDlg dialog;
    bool shownAsModal = false;
    bool closedByGuard = false;
    QString caption, text;
    QSize clientSize, pictureSize;
    bool pictureShown = false;

    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<TAboutDlg *>(QApplication::activeModalWidget());
        shownAsModal = box == &dialog;
        if (!box)
            return;
        caption = box->windowTitle();
        text = box->LabelText->text();
        clientSize = box->size();
        pictureSize = box->ImageLake->size();
        pictureShown = !box->ImageLake->pixmap().isNull();
        // A click on the text does nothing; one on the picture ends the box.
        QTest::mouseClick(box->LabelText, Qt::LeftButton);
        if (box->isVisible())
            QTest::mouseClick(box->ImageLake, Qt::LeftButton);
    });
    QPointer<TAboutDlg> guarded(&dialog);
    QTimer::singleShot(10000, [&] {
        if (guarded && guarded->isVisible()) {
            closedByGuard = true;
            guarded->reject();
        }
    });
    dialog.exec();

    EXPECT_TRUE(shownAsModal);
    EXPECT_FALSE(closedByGuard);
    EXPECT_EQ(caption, QStringLiteral("O programie"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("Hollvan dla ZMT"));
    EXPECT_EQ(lines[1], QStringLiteral("v2.16 listopad 2007"));
    EXPECT_FALSE(lines[2].isEmpty());
    EXPECT_FALSE(lines[3].isEmpty());
    EXPECT_EQ(clientSize, QSize(197, 209));
    EXPECT_EQ(pictureSize, QSize(197, 144));
    EXPECT_TRUE(pictureShown);
    EXPECT_EQ(dialog.PanelText->geometry(), QRect(0, 144, 197, 65));
    EXPECT_EQ(dialog.LabelText->alignment(), Qt::AlignCenter);
    EXPECT_EQ(dialog.font().pixelSize(), 10);
}

TEST(AboutDlg, IsCentredOverTheMainWindow)
{
    QMainWindow main;
    main.setGeometry(260, 180, 480, 400);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main, 10000));

    TAboutDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog, 10000));
    const QPoint offset = dialog.frameGeometry().center() - main.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
    dialog.close();
}

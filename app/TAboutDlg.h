#pragma once

#include <QDialog>

class QFrame;
class QLabel;

// The About box: the lake picture over the program's name, version and
// thanks. It has no buttons; a click on the picture or the close box ends it.
class TAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutDlg(QWidget *parent = nullptr);
    ~TAboutDlg() override;

    QFrame *PanelImage = nullptr;
    QLabel *ImageLake = nullptr;
    QFrame *PanelText = nullptr;
    QLabel *LabelText = nullptr;

    void FormShow();
    void ImageLakeClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void centreOverMainWindow();

    bool imagePressed = false;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about window: the picture, four lines of text and an OK button, on a
// dialog of fixed size (the size its texts need in the desktop's font),
// centred on the screen.
#include <QDialog>

#include <memory>

class QFrame;
class QIcon;
class QLabel;
class QPushButton;
namespace Ui {
class TAboutBox;
}

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    // Controls, named as on the form.
    QFrame *Panel1, *Panel2;
    QLabel* Image1;
    QLabel *ProductName, *Copyright, *Programmer, *Website;
    QPushButton* OKButton;

    // Draws Icon centred in Image1 at the icon's 32 x 32 size.
    void SetPicture(const QIcon& Icon);

    void OKButtonClick(QObject* Sender);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void centre();

    std::unique_ptr<Ui::TAboutBox> ui;
};

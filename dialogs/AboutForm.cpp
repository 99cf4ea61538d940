// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutForm.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ErrorBox.h"
#include "ui_AboutForm.h"

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TAboutBox>())
{
    ui->setupUi(this);
    Panel1 = ui->Panel1;
    Panel2 = ui->Panel2;
    Image1 = ui->Image1;
    ProductName = ui->ProductName;
    Copyright = ui->Copyright;
    Programmer = ui->Programmer;
    Website = ui->Website;
    OKButton = ui->OKButton;

    setWindowModality(Qt::ApplicationModal);
    if (const QScreen* s = screen()) {
        QRect r = rect();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }

    connect(OKButton, &QPushButton::clicked, this, [this] { GuardEvent([this] { OKButtonClick(OKButton); }); });
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::SetPicture(const QIcon& Icon)
{
    Image1->setPixmap(Icon.pixmap(QSize(32, 32), devicePixelRatioF()));
}

void TAboutBox::OKButtonClick(QObject* /*Sender*/)
{
    done(QDialog::Accepted);
}

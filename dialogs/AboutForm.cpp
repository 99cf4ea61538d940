// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutForm.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "ErrorBox.h"
#include "ScreenFit.h"
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
    centre();

    connect(OKButton, &QPushButton::clicked, this, [this] { GuardEvent([this] { OKButtonClick(OKButton); }); });
}

TAboutBox::~TAboutBox() = default;

// The size follows the texts and the font, so the box is centred again
// whenever they change before it is shown.
void TAboutBox::centre()
{
    adjustSize();
    if (const QScreen* s = screen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(s->availableGeometry().center());
        PlaceOnScreen(this, r.topLeft());
    }
}

void TAboutBox::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        centre();
    QDialog::showEvent(event);
}

void TAboutBox::SetPicture(const QIcon& Icon)
{
    Image1->setPixmap(Icon.pixmap(QSize(32, 32), devicePixelRatioF()));
}

void TAboutBox::OKButtonClick(QObject* /*Sender*/)
{
    done(QDialog::Accepted);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutDlg.h"

#include <QLabel>

#include <memory>

#include "AboutForm.h"
#include "ChanLoadVersion.h"
#include "Pictures.h"

TAboutDlg::TAboutDlg(QObject* Owner)
    : QObject(Owner)
{
}

void TAboutDlg::ShowAboutBox()
{
    // Created per showing and owned here rather than by a window, so nothing of
    // an earlier showing remains and it goes also when exec() throws.
    const auto Box = std::make_unique<TAboutBox>();
    Box->setWindowTitle(Title);
    Box->ProductName->setText(ProductName);
    Box->Copyright->setText(CopyRight);
    Box->Programmer->setText(Programmer);
    Box->Website->setText(WebSite);
    Box->SetPicture(Icon);
    Box->exec();
}

void FillMainAboutDlg(TAboutDlg* Dlg)
{
    Dlg->Title = QStringLiteral("Channel Activity Meter");
    Dlg->ProductName = QStringLiteral("ChanLoad");
    Dlg->CopyRight = QStringLiteral("\u00A9 2026 the ChanLoad developers");
    Dlg->Programmer = QStringLiteral("Version " CHANLOAD_VERSION ", programmed by the ChanLoad developers");
    Dlg->WebSite = QStringLiteral("Contact: through the ChanLoad project's issue tracker");
    Dlg->Icon = LoadIcon("MAINICON");
}

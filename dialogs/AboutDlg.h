// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about component: holds the texts and the icon of an about box and shows
// a fresh TAboutBox with them on request. It has no window of its own.
#include <QIcon>
#include <QObject>
#include <QString>

class TAboutDlg : public QObject {
    Q_OBJECT
public:
    explicit TAboutDlg(QObject* Owner = nullptr);

    QString ProductName;
    QString CopyRight;
    QString Title;
    QString Programmer;
    QString WebSite;
    // A value: assigning copies the picture, so the caller keeps its own icon.
    QIcon Icon;

    // Shows the about box application-modal and returns once it is closed.
    void ShowAboutBox();
};

// The main window's instance: ChanLoad's title, credits and main icon.
void FillMainAboutDlg(TAboutDlg* Dlg);

// SPDX-License-Identifier: GPL-3.0-or-later
// The Properties and About windows used with the keyboard alone: Tab walks the
// controls in their designed order, the control with the focus looks
// different, Enter means OK and Esc means Cancel.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "AboutForm.h"
#include "ErrorBox.h"
#include "MessageBox.h"
#include "MeterProp.h"
#include "Process.h"
#include "QtTestApp.h"
#include "TrackBar.h"
#include "meter.h"

namespace {

// The control that holds the keyboard focus, counting the line edit inside a
// spin box or an editable combo box as the box.
QWidget* focused()
{
    QWidget* w = QApplication::focusWidget();
    while (w && w->parentWidget() && (qobject_cast<QSpinBox*>(w->parentWidget()) || qobject_cast<QComboBox*>(w->parentWidget())))
        w = w->parentWidget();
    return w;
}

QImage look(QWidget* w)
{
    return w->grab().toImage();
}

class Keyboard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        SetMessageBoxHandler([this](const QString& Text, const QString&) { messages.push_back(Text); });
        SetErrorBoxHandler([this](const QString& Text) { messages.push_back(Text); });
        SetEndProcessHandler([](int) {});
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        ASSERT_TRUE(QDir(dir.path()).mkpath("chanload"));
        QFile f(QDir(dir.path()).filePath("chanload/CHANLOAD.INI"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=" + std::to_string(closed.serverPort())
                 + "\nSAMPLE=30000\nBW=1200\nAGW_PORT=1\nCALLSIGN=N0CALL-1\n").c_str());
        f.close();
        main = std::make_unique<TForm1>();
        dialog = std::make_unique<TForm2>();
    }

    void TearDown() override
    {
        dialog.reset();
        main.reset();
        SetMessageBoxHandler(nullptr);
        SetErrorBoxHandler(nullptr);
        SetEndProcessHandler(nullptr);
    }

    // Opens the dialog as the menu does and waits until it has the keyboard.
    void open()
    {
        main->Properties1->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    void focusOn(QWidget* w)
    {
        w->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(WaitFor([w] { return focused() == w; })) << w->objectName().toStdString();
    }
    void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

    std::vector<QWidget*> designedOrder() const
    {
        return {dialog->IPAddress, dialog->TCPPort, dialog->TrackBar1, dialog->BitBtn1,
                dialog->BitBtn2, dialog->CallSign, dialog->AGWPort, dialog->ComboBox1};
    }

    QTemporaryDir dir;
    std::vector<QString> messages;
    std::unique_ptr<TForm1> main;
    std::unique_ptr<TForm2> dialog;
};

TEST_F(Keyboard, Properties_TabAndBacktabWalkTheControlsInTheirDesignedOrder)
{
    open();
    const std::vector<QWidget*> order = designedOrder();
    // The first control has the focus when the dialog opens.
    EXPECT_EQ(focused(), order.front());
    focusOn(order.front());
    for (size_t i = 1; i <= order.size(); ++i) {
        press(Qt::Key_Tab);
        EXPECT_EQ(focused(), order[i % order.size()]) << "Tab number " << i;
    }
    for (size_t i = order.size(); i-- > 0;) {
        press(Qt::Key_Backtab);
        EXPECT_EQ(focused(), order[i]) << "Shift+Tab back to " << order[i]->objectName().toStdString();
    }
}

TEST_F(Keyboard, Properties_TheFocusedControlLooksDifferent)
{
    open();
    const std::vector<QWidget*> order = designedOrder();
    for (size_t i = 0; i < order.size(); ++i) {
        QWidget* other = order[(i + 1) % order.size()];
        focusOn(other);
        const QImage without = look(order[i]);
        focusOn(order[i]);
        EXPECT_TRUE(look(order[i]) != without) << order[i]->objectName().toStdString() << " shows no focus";
    }
}

TEST_F(Keyboard, Properties_EnterIsOkFromEveryFieldEscIsCancelFromEveryControl)
{
    QSignalSpy okPressed(dialog->BitBtn1, &QPushButton::clicked);
    QSignalSpy cancelPressed(dialog->BitBtn2, &QPushButton::clicked);
    int oks = 0, cancels = 0;
    for (QWidget* w : designedOrder()) {
        const std::string name = w->objectName().toStdString();
        open();
        focusOn(w);
        press(Qt::Key_Escape);
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_TRUE(main->isEnabled()) << name;
        EXPECT_EQ(okPressed.count(), oks) << name;

        open();
        focusOn(w);
        press(Qt::Key_Return);
        // Enter on a button presses that button, as everywhere on the desktop.
        if (w == dialog->BitBtn2)
            EXPECT_EQ(cancelPressed.count(), ++cancels) << name;
        else
            EXPECT_EQ(okPressed.count(), ++oks) << name;
        EXPECT_FALSE(dialog->isVisible()) << name;
    }
    EXPECT_TRUE(messages.empty());
}

class AboutKeyboard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    // Shows the box, runs Keys on it once it has the keyboard, and tells
    // whether the box was closed with OK.
    bool showAndPress(const std::function<void(TAboutBox*)>& Keys)
    {
        bool accepted = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
            if (!box || !QTest::qWaitForWindowActive(box)) {
                ADD_FAILURE() << "no active about box";
                if (box)
                    box->reject();
                return;
            }
            QObject::connect(box, &QDialog::accepted, box, [&] { accepted = true; });
            Keys(box);
            if (box->isVisible()) {
                ADD_FAILURE() << "the keys left the box open";
                box->reject();
            }
        });
        dlg.ShowAboutBox();
        return accepted;
    }

    TAboutDlg dlg;
};

TEST_F(AboutKeyboard, EnterIsOkEscClosesTabStaysOnTheFocusedOkButton)
{
    EXPECT_TRUE(showAndPress([](TAboutBox* box) {
        // The only control: it has the focus and, as the default button, its highlight.
        EXPECT_EQ(QApplication::focusWidget(), box->OKButton);
        EXPECT_TRUE(box->OKButton->isDefault());
        QTest::keyClick(box->OKButton, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), box->OKButton);
        QTest::keyClick(box->OKButton, Qt::Key_Return);
    }));
    EXPECT_FALSE(showAndPress([](TAboutBox* box) { QTest::keyClick(box->OKButton, Qt::Key_Escape); }));
}

} // namespace

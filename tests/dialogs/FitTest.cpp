// SPDX-License-Identifier: GPL-3.0-or-later
// The windows at the fonts desktops hand out: every text whole, every window
// on the screen.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "AboutForm.h"
#include "ErrorBox.h"
#include "LoopbackPort.h"
#include "MeterProp.h"
#include "MeterSettings.h"
#include "Process.h"
#include "QtTestApp.h"
#include "ScreenFit.h"
#include "meter.h"

namespace {

// Every visible label and button of Window that is cut: its name and why.
std::vector<std::string> clippedTexts(QWidget* Window)
{
    std::vector<std::string> clipped;
    const auto report = [&](const QWidget* w, const QSize& needed) {
        clipped.push_back(w->objectName().toStdString() + " needs " + std::to_string(needed.width()) + "x" +
                          std::to_string(needed.height()) + ", has " + std::to_string(w->width()) + "x" +
                          std::to_string(w->height()));
    };
    for (QLabel* label : Window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(Window) || label->text().isEmpty())
            continue;
        if (label->wordWrap()) {
            const int needed = label->heightForWidth(label->width());
            if (needed > label->height())
                report(label, QSize(label->width(), needed));
        } else if (label->sizeHint().width() > label->width() || label->sizeHint().height() > label->height()) {
            report(label, label->sizeHint());
        }
    }
    for (QAbstractButton* button : Window->findChildren<QAbstractButton*>()) {
        if (button->isVisibleTo(Window)
            && (button->sizeHint().width() > button->width() || button->sizeHint().height() > button->height()))
            report(button, button->sizeHint());
    }
    return clipped;
}

// Whether Text shows whole in Edit: with the cursor at its end, the start of
// the text must not have scrolled out of the box.
bool showsWhole(QLineEdit* Edit, const QString& Text)
{
    const auto cursor = [Edit] { return Edit->inputMethodQuery(Qt::ImCursorRectangle).toRect(); };
    Edit->setText(Text);
    Edit->setCursorPosition(0);
    Edit->grab(); // the edit scrolls only when it paints
    const int start = cursor().center().x();
    Edit->setCursorPosition(static_cast<int>(Text.size()));
    Edit->grab();
    const int end = cursor().center().x();
    return end - start >= Edit->fontMetrics().horizontalAdvance(Text) && cursor().right() <= Edit->width();
}

class WindowFit : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        QFile ini(QDir(dir.path()).filePath("CHANLOAD.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=" + std::to_string(refusing.number()) +
                   "\nSAMPLE=600000\nBW=56000\nAGW_PORT=128\nCALLSIGN=NOBODY-2\n")
                      .c_str());
        ini.close();
        SetErrorBoxHandler([](const QString&) {});
        SetEndProcessHandler([](int) {});
        saved = QApplication::font();
        QFont font = saved;
        font.setPointSize(GetParam());
        QApplication::setFont(font);
    }

    void TearDown() override
    {
        QApplication::setFont(saved);
        SetErrorBoxHandler(nullptr);
        SetEndProcessHandler(nullptr);
    }

    QTemporaryDir dir;
    RefusingPort refusing;
    QFont saved;
};

TEST_P(WindowFit, PropertiesShowsEveryTextAndFieldWhole)
{
    TForm2 dialog;
    MeterSettings s;
    LoadSettings(s);
    dialog.ShowSettings(s);
    ASSERT_TRUE(WaitFor([&] { return dialog.isVisible(); }));
    EXPECT_EQ(clippedTexts(&dialog), std::vector<std::string>{}) << GetParam() << " pt";
    // What each field is made to hold, at its longest.
    const std::vector<std::pair<QLineEdit*, QString>> fields = {
        {dialog.IPAddress, "255.255.255.255"}, {dialog.TCPPort, "65535"}, {dialog.CallSign, "NOBODY-2"},
        {dialog.CallSign, "VK2ABC-15"}};
    for (const auto& [edit, text] : fields)
        EXPECT_TRUE(showsWhole(edit, text)) << edit->objectName().toStdString() << " \"" << text.toStdString()
                                            << "\" at " << GetParam() << " pt";
    dialog.BitBtn2Click(nullptr);
}

TEST_P(WindowFit, AboutShowsEveryTextWhole)
{
    TAboutDlg texts;
    FillMainAboutDlg(&texts);
    TAboutBox box;
    box.setWindowTitle(texts.Title);
    box.ProductName->setText(texts.ProductName);
    box.Copyright->setText(texts.CopyRight);
    box.Programmer->setText(texts.Programmer);
    box.Website->setText(texts.WebSite);
    box.show();
    ASSERT_TRUE(WaitFor([&] { return box.isVisible(); }));
    EXPECT_EQ(clippedTexts(&box), std::vector<std::string>{}) << GetParam() << " pt";
    // Still the fixed size of a dialog frame.
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    box.close();
}

TEST_P(WindowFit, MainWindowShowsEveryTextWholeAndFollowsTheFont)
{
    TForm1 form;
    ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }));
    // The widest figures each value shows in use.
    const std::vector<std::pair<QLabel*, QString>> widest = {
        {form.PortMon, "128"}, {form.BW, "56000"},  {form.AvgLoad, "100%"}, {form.Frames, "9999"},
        {form.Bytes, "999999"}, {form.Datas, "999999"}, {form.Usage, "100%"}};
    for (const auto& [label, text] : widest)
        label->setText(text);
    WaitFor([] { return false; }, 50);
    EXPECT_EQ(clippedTexts(&form), std::vector<std::string>{}) << GetParam() << " pt";
    // A larger desktop font is a larger text in the window.
    EXPECT_EQ(form.Label1->font().pointSize(), std::max(8, GetParam()));
    EXPECT_EQ(form.PortMon->font().pointSize(), std::max(8, GetParam()) + 2);
}

INSTANTIATE_TEST_SUITE_P(DesktopFonts, WindowFit, ::testing::Values(8, 11, 14),
                         [](const auto& info) { return std::to_string(info.param) + "pt"; });

// A window larger than the screen shrinks to it; one that would stick out is
// moved in; one that fits stays where it was wanted.
TEST(PlaceOnScreen, KeepsTheWholeWindowOnTheScreen)
{
    EnsureApplication();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* what;
        QPoint wanted;
        QSize size, minimum;
        QRect expected;
    };
    const int w = area.width(), h = area.height(), x0 = area.left(), y0 = area.top();
    const std::vector<Case> cases = {
        {"fits", {x0 + 10, y0 + 20}, {200, 100}, {0, 0}, {x0 + 10, y0 + 20, 200, 100}},
        {"past the right and bottom edges", {x0 + w - 50, y0 + h - 30}, {200, 100}, {0, 0},
         {x0 + w - 200, y0 + h - 100, 200, 100}},
        {"left of and above the screen", {x0 - 40, y0 - 70}, {200, 100}, {0, 0}, {x0, y0, 200, 100}},
        {"taller than the screen", {x0 + 30, y0 + 30}, {200, h + 300}, {0, 0}, {x0 + 30, y0, 200, h}},
        {"wider and taller", {x0 + 30, y0 + 30}, {w + 10, h + 10}, {0, 0}, {x0, y0, w, h}},
        {"cannot shrink below its minimum", {x0 + 30, y0 + 30}, {w + 100, 100}, {w + 50, 50},
         {x0, y0 + 30, w + 50, 100}},
    };
    for (const Case& c : cases) {
        QWidget window;
        window.setMinimumSize(c.minimum);
        window.resize(c.size);
        PlaceOnScreen(&window, c.wanted);
        EXPECT_EQ(QRect(window.pos(), window.size()), c.expected) << c.what;
    }
}

} // namespace

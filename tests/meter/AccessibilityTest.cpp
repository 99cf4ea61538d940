// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "AccessibleLabel.h"
#include "Gauge.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QProgressBar>
#include <QTimer>

#include <utility>
#include <vector>

namespace {

QString said(QObject* control, QAccessible::Text what)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    return iface ? iface->text(what) : QStringLiteral("(no interface)");
}

QVariant valueOf(QObject* control)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    QAccessibleValueInterface* value = iface ? iface->valueInterface() : nullptr;
    return value ? value->currentValue() : QVariant();
}

// The whole text as a screen reader gets it through the text interface.
QString textOf(QObject* control)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    QAccessibleTextInterface* text = iface ? iface->textInterface() : nullptr;
    return text ? text->text(0, text->characterCount()) : QStringLiteral("(no text interface)");
}

} // namespace

TEST_F(MeterTest, EveryLiveValueTellsAScreenReaderItsNameAndValue)
{
    StartConnected();
    form->BW->setText("1200");
    SetTotals(1, 1800, 1200);
    form->CheckTime->setInterval(30000);
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    SetTotals(7, 500, 300);

    const std::vector<std::pair<QLabel*, const char*>> names = {
        {form->Frames, "Frames"}, {form->Bytes, "Bytes"}, {form->Datas, "Data bytes"}, {form->Usage, "Traffic"},
        {form->AvgLoad, "Load"}, {form->PortMon, "Monitoring port"}, {form->BW, "Channel bit rate"},
        {form->ImageBar, "Load class"}};
    for (const auto& [label, name] : names) {
        EXPECT_EQ(said(label, QAccessible::Name), name);
        // The value and the text a screen reader reads are what the label shows.
        const QString shown = label == form->ImageBar ? QStringLiteral("1 of 4") : label->text();
        EXPECT_EQ(said(label, QAccessible::Value), shown) << name;
        EXPECT_EQ(textOf(label), shown) << name;
    }
    EXPECT_EQ(textOf(form->Frames), "7");
    EXPECT_EQ(textOf(form->Datas), "300");
    EXPECT_EQ(textOf(form->Usage), "50%");
    EXPECT_EQ(textOf(form->AvgLoad), "5%");
    EXPECT_EQ(textOf(form->PortMon), "1");
    EXPECT_EQ(textOf(form->BW), "1200");
    QAccessibleTextInterface* part = QAccessible::queryAccessibleInterface(form->Usage)->textInterface();
    EXPECT_EQ(part->text(0, 2), "50");

    EXPECT_EQ(said(form->Gauge, QAccessible::Name), "Efficiency");
    EXPECT_EQ(valueOf(form->Gauge).toInt(), 66);
    EXPECT_EQ(said(form->Traffic, QAccessible::Name), "Usage");
    EXPECT_EQ(valueOf(form->Traffic).toInt(), 50);
}

TEST(ValueLabel, PlainLabelKeepsItsTextAsItsName)
{
    EnsureApplication();
    QLabel plain(QStringLiteral("42"));
    MarkValueLabel(&plain, QStringLiteral("Frames"));
    EXPECT_EQ(said(&plain, QAccessible::Name), "42");

    TValueLabel figure;
    figure.setText(QStringLiteral("42"));
    MarkValueLabel(&figure, QStringLiteral("Frames"));
    EXPECT_EQ(said(&figure, QAccessible::Name), "Frames");
    EXPECT_EQ(textOf(&figure), "42");
}

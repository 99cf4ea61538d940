#include "MeterFixture.h"

#include "Gauge.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QProgressBar>
#include <QTimer>

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

} // namespace

TEST_F(MeterTest, EveryLiveValueTellsAScreenReaderItsNameAndValue)
{
    StartConnected();
    form->BW->setText("1200");
    SetTotals(1, 1800, 1200);
    form->CheckTime->setInterval(30000);
    form->CheckTimeTimer(form->CheckTime);
    SetTotals(7, 500, 300);

    EXPECT_EQ(said(form->Frames, QAccessible::Name), "Frames");
    EXPECT_EQ(said(form->Frames, QAccessible::Value), "7");
    EXPECT_EQ(said(form->Datas, QAccessible::Value), "300");
    EXPECT_EQ(said(form->Usage, QAccessible::Name), "Traffic");
    EXPECT_EQ(said(form->Usage, QAccessible::Value), "50%");
    EXPECT_EQ(said(form->AvgLoad, QAccessible::Value), "5%");
    EXPECT_EQ(said(form->PortMon, QAccessible::Name), "Monitoring port");
    EXPECT_EQ(said(form->PortMon, QAccessible::Value), "1");
    EXPECT_EQ(said(form->BW, QAccessible::Value), "1200");
    EXPECT_EQ(said(form->ImageBar, QAccessible::Name), "Load class");
    EXPECT_EQ(said(form->ImageBar, QAccessible::Value), "1 of 4");

    EXPECT_EQ(said(form->Gauge, QAccessible::Name), "Efficiency");
    EXPECT_EQ(valueOf(form->Gauge).toInt(), 66);
    EXPECT_EQ(said(form->Traffic, QAccessible::Name), "Usage");
    EXPECT_EQ(valueOf(form->Traffic).toInt(), 50);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "THistoryWindow.h"

#include "AccessibleLabel.h"
#include "ScreenFit.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QLinearGradient>
#include <QRadioButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

// The tray icon's colours of the four load classes.
const QColor ClassColours[] = {QColor(0x42, 0xa5, 0xf5), QColor(0x66, 0xd1, 0x6a), QColor(0xff, 0xee, 0x58),
                               QColor(0xef, 0x53, 0x50)};

// A pale band of the class colour on the theme's background: the lines drawn
// over it stay readable, dark theme or light.
QColor bandColour(const QColor& Background, const QColor& Class, bool Dark)
{
    const qreal share = Dark ? 0.30 : 0.28;
    return QColor::fromRgbF(Background.redF() + (Class.redF() - Background.redF()) * share,
                            Background.greenF() + (Class.greenF() - Background.greenF()) * share,
                            Background.blueF() + (Class.blueF() - Background.blueF()) * share);
}

QString localTime(int64_t Time, const QString& Format)
{
    return QDateTime::fromSecsSinceEpoch(Time).toString(Format);
}

QString percent(int Value)
{
    return QStringLiteral("%1%").arg(Value);
}

QDateTime moment(int64_t Time)
{
    return QDateTime::fromSecsSinceEpoch(Time);
}

} // namespace

QString PeriodText(const PeriodRecord& R)
{
    const QString utc = QString::fromStdString(Iso8601Utc(R.Time)).mid(11, 8);
    return QStringLiteral("%1 (%2 UTC)\nAirtime %3%, own %4%\nLoad %5%\nUsage %6%\nEfficiency %7%\n"
                          "Frames %8, bytes %9, data %10")
        .arg(localTime(R.Time, QStringLiteral("yyyy-MM-dd HH:mm:ss")), utc)
        .arg(R.Airtime)
        .arg(R.OwnAirtime)
        .arg(R.Load)
        .arg(R.Usage)
        .arg(R.Efficiency)
        .arg(R.Frames)
        .arg(R.Bytes)
        .arg(R.Datas);
}

THistoryWindow::THistoryWindow(const PeriodHistory& History, QWidget* parent)
    : QWidget(parent, Qt::Window), history(History)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ChanLoad history"));

    chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    chart->setPlotAreaBackgroundVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);

    airtime = new QLineSeries;
    airtime->setName(QStringLiteral("Airtime"));
    load = new QLineSeries;
    load->setName(QStringLiteral("Load"));
    usage = new QLineSeries;
    usage->setName(QStringLiteral("Usage"));
    // Usage under the other two, so that it never hides them.
    for (QLineSeries* s : {usage, load, airtime})
        chart->addSeries(s);

    timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(QStringLiteral("HH:mm"));
    timeAxis->setTickCount(7);
    auto* percentAxis = new QValueAxis;
    // Fixed, so that the class bands of the background sit at 25, 50 and 75.
    percentAxis->setRange(0, 100);
    percentAxis->setTickCount(5);
    percentAxis->setLabelFormat(QStringLiteral("%d%"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    chart->addAxis(percentAxis, Qt::AlignLeft);
    for (QLineSeries* s : {usage, load, airtime}) {
        s->attachAxis(timeAxis);
        s->attachAxis(percentAxis);
        connect(s, &QLineSeries::hovered, this, &THistoryWindow::showPeriodAt);
    }

    view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(480, 260);
    view->setToolTip(QString());

    auto* spans = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    const char* spanNames[] = {"Last &hour", "Last &6 hours", "Last &24 hours"};
    for (int i = 0; i < 3; ++i) {
        spanButtons[i] = new QRadioButton(QString::fromLatin1(spanNames[i]));
        group->addButton(spanButtons[i]);
        spans->addWidget(spanButtons[i]);
        const int64_t seconds = Spans[i];
        connect(spanButtons[i], &QRadioButton::toggled, this, [this, seconds](bool on) {
            if (on)
                SetSpan(seconds);
        });
    }
    spanButtons[0]->setChecked(true);
    spans->addStretch();
    spans->addWidget(new QLabel(QStringLiteral("Background: load class 1 to 4 (blue, green, yellow, red)")));

    // The latest period, one figure per label, for the eye and for screen readers.
    auto* latest = new QGroupBox(QStringLiteral("Latest period"));
    auto* grid = new QGridLayout(latest);
    const auto figure = [&](int column, const QString& heading, const QString& name) {
        auto* value = new TValueLabel;
        auto* title = new QLabel(heading);
        title->setBuddy(value);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(title, 0, column);
        grid->addWidget(value, 1, column);
        MarkValueLabel(value, name);
        return value;
    };
    LatestTime = figure(0, QStringLiteral("Ended"), QStringLiteral("Period ended"));
    LatestAirtime = figure(1, QStringLiteral("Airtime"), QStringLiteral("Airtime"));
    LatestLoad = figure(2, QStringLiteral("Load"), QStringLiteral("Load"));
    LatestUsage = figure(3, QStringLiteral("Usage"), QStringLiteral("Usage"));
    LatestEfficiency = figure(4, QStringLiteral("Efficiency"), QStringLiteral("Efficiency"));
    LatestFrames = figure(5, QStringLiteral("Frames"), QStringLiteral("Frames"));

    auto* column = new QVBoxLayout(this);
    column->addLayout(spans);
    column->addWidget(view, 1);
    column->addWidget(latest);

    applyColours();
    redraw();
    showLatest();
    // No larger than the screen it opens on, whatever its scale.
    resize(SizeOnScreen(this, QSize(760, 480)));
}

QRadioButton* THistoryWindow::SpanButton(int64_t Seconds) const
{
    for (int i = 0; i < 3; ++i)
        if (Spans[i] == Seconds)
            return spanButtons[i];
    return nullptr;
}

void THistoryWindow::SetSpan(int64_t Seconds)
{
    if (QRadioButton* b = SpanButton(Seconds)) {
        span = Seconds;
        b->setChecked(true);
        redraw();
    }
}

void THistoryWindow::PeriodAdded(const PeriodRecord& /*Record*/)
{
    redraw();
    showLatest();
}

// The time axis ends at the newest period, not at the clock, so that the
// drawing changes only when a period comes.
void THistoryWindow::redraw()
{
    const int64_t end = history.Empty() ? QDateTime::currentSecsSinceEpoch() : history.Latest().Time;
    const int64_t start = end - span;
    QList<QPointF> airPoints, loadPoints, usagePoints;
    const size_t first = history.FirstSince(start);
    const auto count = static_cast<qsizetype>(history.Size() - first);
    airPoints.reserve(count);
    loadPoints.reserve(count);
    usagePoints.reserve(count);
    for (size_t i = first; i < history.Size(); ++i) {
        const PeriodRecord& r = history[i];
        const auto x = static_cast<qreal>(r.Time) * 1000;
        airPoints.append(QPointF(x, r.Airtime));
        loadPoints.append(QPointF(x, r.Load));
        usagePoints.append(QPointF(x, r.Usage));
    }
    airtime->replace(airPoints);
    load->replace(loadPoints);
    usage->replace(usagePoints);
    // Few periods are dots as well as lines; a single one would not show at all.
    const bool dots = count <= 60;
    for (QLineSeries* s : {airtime, load, usage})
        s->setPointsVisible(dots);
    timeAxis->setRange(moment(start), moment(end));
}

void THistoryWindow::showLatest()
{
    if (history.Empty()) {
        for (TValueLabel* l : {LatestTime, LatestAirtime, LatestLoad, LatestUsage, LatestEfficiency, LatestFrames})
            l->setText(QStringLiteral("-"));
        return;
    }
    const PeriodRecord& r = history.Latest();
    LatestTime->setText(localTime(r.Time, QStringLiteral("HH:mm:ss")));
    LatestAirtime->setText(percent(r.Airtime));
    LatestLoad->setText(percent(r.Load));
    LatestUsage->setText(percent(r.Usage));
    LatestEfficiency->setText(percent(r.Efficiency));
    LatestFrames->setText(QString::number(r.Frames));
}

void THistoryWindow::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange)
        applyColours();
}

// Everything from the window's palette, so that a dark theme gets a dark chart.
void THistoryWindow::applyColours()
{
    const QPalette p = palette();
    const QColor background = p.color(QPalette::Window);
    const QColor text = p.color(QPalette::WindowText);
    const bool dark = background.lightness() < 128;

    chart->setBackgroundBrush(background);
    chart->setBackgroundPen(Qt::NoPen);
    chart->legend()->setLabelColor(text);
    chart->legend()->setFont(font());

    // The classes as horizontal bands: the gradient runs over the plot area
    // from bottom to top, with hard steps at 25, 50 and 75 %.
    QLinearGradient bands(0, 1, 0, 0);
    bands.setCoordinateMode(QGradient::ObjectMode);
    const qreal steps[] = {0, 0.25, 0.5, 0.75, 1};
    for (int i = 0; i < 4; ++i) {
        const QColor c = bandColour(background, ClassColours[i], dark);
        bands.setColorAt(steps[i] + (i ? 0.0005 : 0), c);
        bands.setColorAt(steps[i + 1], c);
    }
    chart->setPlotAreaBackgroundBrush(bands);
    chart->setPlotAreaBackgroundPen(QPen(text, 1));

    QColor grid = text;
    grid.setAlpha(60);
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsColor(text);
        axis->setLabelsFont(font());
        axis->setLinePen(QPen(text, 1));
        axis->setGridLinePen(QPen(grid, 1));
    }

    // Airtime, the figure that says how busy the channel is, in the text
    // colour; load in a colour none of the bands has; usage fainter.
    airtime->setPen(QPen(text, 2.5));
    load->setPen(QPen(dark ? QColor(0xe0, 0x8c, 0xff) : QColor(0x7b, 0x1f, 0xa2), 2));
    QColor faint = text;
    faint.setAlpha(dark ? 130 : 110);
    usage->setPen(QPen(faint, 1.2, Qt::DashLine));
    for (QLineSeries* s : {airtime, load, usage})
        s->setMarkerSize(5);
}

void THistoryWindow::showPeriodAt(const QPointF& Point, bool State)
{
    if (!State || history.Empty()) {
        QToolTip::hideText();
        return;
    }
    // The period nearest to the pointer's time.
    const auto time = static_cast<int64_t>(Point.x() / 1000);
    size_t i = history.FirstSince(time);
    if (i > 0 && (i == history.Size() || time - history[i - 1].Time < history[i].Time - time))
        --i;
    QToolTip::showText(QCursor::pos(), PeriodText(history[i]), view);
}

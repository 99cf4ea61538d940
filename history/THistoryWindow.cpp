// SPDX-License-Identifier: GPL-3.0-or-later
#include "THistoryWindow.h"

#include "AccessibleLabel.h"
#include "PeriodStore.h"
#include "PlotItem.h"
#include "ScreenFit.h"

#include <QAreaSeries>
#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QEvent>
#include <QFocusEvent>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

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

QString why(const PeriodRecord& R)
{
    switch (R.Engine) {
    case EngineState::Silent:
        return QStringLiteral("engine not answering");
    case EngineState::Disconnected:
        return QStringLiteral("disconnected from the engine");
    case EngineState::NoPort:
        return QStringLiteral("no radio port %1 on this engine").arg(R.Port);
    case EngineState::Answering:
        break;
    }
    return QString();
}

PlotSample sampleOf(const PeriodRecord& R)
{
    PlotSample s;
    s.Time = R.Time;
    s.Has = R.HasFigures();
    s.Value[PlotSample::Airtime] = s.Max[PlotSample::Airtime] = R.Airtime;
    s.Value[PlotSample::Load] = s.Max[PlotSample::Load] = R.Load;
    s.Value[PlotSample::Usage] = s.Max[PlotSample::Usage] = R.Usage;
    return s;
}

PlotSample sampleOf(const HourFigures& H)
{
    PlotSample s;
    s.Time = H.Time;
    s.Has = H.HasFigures();
    s.Value[PlotSample::Airtime] = H.Airtime;
    s.Max[PlotSample::Airtime] = H.AirtimeMax;
    s.Value[PlotSample::Load] = H.Load;
    s.Max[PlotSample::Load] = H.LoadMax;
    s.Value[PlotSample::Usage] = H.Usage;
    s.Max[PlotSample::Usage] = H.UsageMax;
    return s;
}

const char* const SpanNames[] = {"Last &hour", "Last &6 hours", "Last &24 hours",
                                 "Last &7 days", "Last &30 days", "Last &year"};

} // namespace

// The chart's lines and rectangles (grid, axes' lines and ticks, the plot's
// background) stay where they are when a new period moves the time axis:
// each is drawn once into a pixmap and from then on copied, until it changes.
// Left out: the hover marker, which moves, and the legend, whose entries
// move by fractions of a pixel when one is shown or hidden, which a copy
// would not follow exactly. Only at a device pixel ratio of 1: scaled, the
// copies are not the pixels drawn directly (at 150 % visibly not).
void THistoryWindow::cacheStaticItems(QGraphicsItem* Parent, QGraphicsItem::CacheMode Mode)
{
    for (QGraphicsItem* item : Parent->childItems()) {
        if (item == chart->legend())
            continue;
        // Setting the mode again would throw the copy away.
        if (item != marker && item->cacheMode() != Mode &&
            (item->type() == QGraphicsLineItem::Type || item->type() == QGraphicsRectItem::Type))
            item->setCacheMode(Mode);
        cacheStaticItems(item, Mode);
    }
}

QString PeriodText(const PeriodRecord& R)
{
    const QString utc = QString::fromStdString(Iso8601Utc(R.Time)).mid(11, 8);
    const QString when = QStringLiteral("%1 (%2 UTC)").arg(localTime(R.Time, QStringLiteral("yyyy-MM-dd HH:mm:ss")), utc);
    if (!R.HasFigures())
        return QStringLiteral("%1\nNo figures: %2").arg(when, why(R));
    return QStringLiteral("%1\nAirtime %2%, own %3%\nLoad %4%\nUsage %5%\nEfficiency %6%\n"
                          "Frames %7, bytes %8, data %9\n%10")
        .arg(when)
        .arg(R.Airtime)
        .arg(R.OwnAirtime)
        .arg(R.Load)
        .arg(R.Usage)
        .arg(R.Efficiency)
        .arg(R.Frames)
        .arg(R.Bytes)
        .arg(R.Datas)
        .arg(R.MeasuredPreambles ? QStringLiteral("Airtime from preambles measured on the channel")
                                 : QStringLiteral("Airtime from the assumed TXDELAY and TXTAIL"));
}

QString HourText(const HourFigures& H)
{
    const QString utc = QString::fromStdString(Iso8601Utc(H.Time)).mid(11, 5);
    const QString when = QStringLiteral("%1-%2 (from %3 UTC)")
                             .arg(localTime(H.Time, QStringLiteral("yyyy-MM-dd HH:mm")),
                                  localTime(H.Time + 3600, QStringLiteral("HH:mm")), utc);
    const QString count = QStringLiteral("%1 periods, %2 without figures").arg(H.Periods).arg(H.Blind);
    if (!H.HasFigures())
        return QStringLiteral("%1\nNo figures: the meter could not see the channel\n%2").arg(when, count);
    const auto pair = [](double Mean, int Max) {
        return QStringLiteral("mean %1%, max %2%").arg(std::lround(Mean)).arg(Max);
    };
    return QStringLiteral("%1\nAirtime %2\nLoad %3\nUsage %4\nFrames %5, bytes %6, data %7\n%8")
        .arg(when, pair(H.Airtime, H.AirtimeMax), pair(H.Load, H.LoadMax), pair(H.Usage, H.UsageMax))
        .arg(H.Frames)
        .arg(H.Bytes)
        .arg(H.Datas)
        .arg(count);
}

THistoryWindow::THistoryWindow(const PeriodHistory& History, TPeriodStore* Store, QWidget* parent)
    : THistoryPane(parent, Qt::Window), history(History), store(Store)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ChanLoad history"));

    chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    chart->setPlotAreaBackgroundVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);

    const char* names[] = {"Airtime", "Load", "Usage"};
    for (int f = 0; f < PlotSample::Count; ++f) {
        lines[f] = new QLineSeries;
        lines[f]->setName(QString::fromLatin1(names[f]));
    }
    // The series stay empty: they give the legend and the axes; the plot
    // item draws the data.
    blindHatch = new QAreaSeries(new QLineSeries);
    blindHatch->upperSeries()->setParent(blindHatch);
    blindHatch->setName(QStringLiteral("No figures"));
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{
             lines[PlotSample::Airtime], lines[PlotSample::Load], lines[PlotSample::Usage], blindHatch})
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
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(timeAxis);
        s->attachAxis(percentAxis);
    }

    view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    // A new period changes the plot and the time axis's labels below it.
    // Repainted as one rectangle, what lies there is drawn without clipping
    // to the outline of the two, which made the grid's lines a fifth dearer.
    view->setViewportUpdateMode(QGraphicsView::BoundingRectViewportUpdate);
    // Small enough that the whole window fits a 1280 x 800 screen at 200 %.
    view->setMinimumSize(480, 200);
    view->setToolTip(QString());
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);

    plot = new TPlotItem(chart);
    marker = new QGraphicsLineItem(chart);
    marker->setZValue(100);
    marker->setVisible(false);
    connect(chart, &QChart::plotAreaChanged, this, [this] { redraw(); });

    auto* spans = new QHBoxLayout;
    auto* group = new QButtonGroup(this);
    const bool hasStore = store && store->IsOpen();
    for (int i = 0; i < SpanCount; ++i) {
        spanButtons[i] = new QRadioButton(QString::fromLatin1(SpanNames[i]));
        group->addButton(spanButtons[i]);
        spans->addWidget(spanButtons[i]);
        const int64_t seconds = Spans[i];
        if (seconds > LongestRingSpan && !hasStore) {
            spanButtons[i]->setEnabled(false);
            spanButtons[i]->setToolTip(QStringLiteral("Needs the history store, which this run does without"));
        }
        connect(spanButtons[i], &QRadioButton::toggled, this, [this, seconds](bool on) {
            if (on)
                SetSpan(seconds);
        });
    }
    spanButtons[0]->setChecked(true);
    spans->addStretch();

    // The latest period, one figure per label, for the eye and for screen readers.
    auto* latest = new QGroupBox(QStringLiteral("Latest period"));
    auto* grid = new QGridLayout(latest);
    const auto figure = [&](int column, const QString& heading, const QString& name) {
        auto* value = new TValueLabel;
        auto* title = new QLabel(heading);
        title->setBuddy(value);
        // Selectable only while the pointer is over it (see eventFilter).
        value->installEventFilter(this);
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

    column = new QVBoxLayout(this);
    column->addLayout(spans);
    column->addWidget(new QLabel(QStringLiteral("Background: load class 1 to 4 (blue, green, yellow, red)")));
    column->addWidget(view, 1);
    column->addWidget(latest);

    applyColours();
    redraw();
    showLatest();
    // No larger than the screen it opens on, whatever its scale.
    resize(SizeOnScreen(this, QSize(760, 480)));
}

void THistoryWindow::AddView(QWidget* View, const QString& Title)
{
    if (!tabs) {
        // The chart becomes the first tab; the span buttons stay above all tabs.
        tabs = new QTabWidget;
        delete column->replaceWidget(view, tabs);
        column->setStretchFactor(tabs, 1);
        tabs->addTab(view, QStringLiteral("Channel"));
    }
    tabs->addTab(View, Title);
}

QRadioButton* THistoryWindow::SpanButton(int64_t Seconds) const
{
    for (int i = 0; i < SpanCount; ++i)
        if (Spans[i] == Seconds)
            return spanButtons[i];
    return nullptr;
}

void THistoryWindow::SetSpan(int64_t Seconds)
{
    QRadioButton* b = SpanButton(Seconds);
    if (!b || !b->isEnabled())
        return;
    span = Seconds;
    b->setChecked(true);
    hideHover();
    if (longSpan())
        loadHours();
    else
        hours = {};
    hoursSampled = false;
    redraw();
}

int64_t THistoryWindow::newest() const
{
    int64_t t = history.Empty() ? 0 : history.Latest().Time;
    if (store && store->IsOpen())
        t = std::max(t, store->LastTime());
    return t ? t : QDateTime::currentSecsSinceEpoch();
}

void THistoryWindow::loadHours()
{
    hours.clear();
    if (store && store->IsOpen()) {
        const int64_t last = newest();
        hours = store->Hours(HourOf(last - span), last);
    }
}

void THistoryWindow::PeriodAdded(const PeriodRecord& Record)
{
    if (longSpan()) {
        // The new period joins its hour; the store is read again only when
        // the span changes. The drawing's samples follow the hours one by
        // one: a year of them is not made anew for each period.
        const int64_t hour = HourOf(Record.Time);
        if (hours.empty() || hours.back().Time < hour) {
            HourFigures h;
            h.Time = hour;
            hours.push_back(h);
            if (hoursSampled)
                samples.push_back(sampleOf(h));
        }
        if (hours.back().Time == hour) {
            hours.back().Add(Record);
            if (hoursSampled)
                samples.back() = sampleOf(hours.back());
        }
        const int64_t first = HourOf(newest() - span);
        const auto old =
            std::find_if(hours.begin(), hours.end(), [first](const HourFigures& h) { return h.Time >= first; });
        if (hoursSampled)
            samples.erase(samples.begin(), samples.begin() + (old - hours.begin()));
        hours.erase(hours.begin(), old);
    }
    redraw();
    showLatest();
    hideHover();
}

// Drawing costs Qt Charts some microseconds a point (it strokes each line
// for hovering), so the lines get two points per three pixels at most, and
// the long spans, which draw bands too, two per five.
int THistoryWindow::Columns() const
{
    const qreal width = chart->plotArea().width() > 50 ? chart->plotArea().width() : 700;
    return std::max(static_cast<int>(width) / (longSpan() ? 5 : 3), 20);
}

// The time axis ends at the newest period, not at the clock, so that the
// drawing changes only when a period comes.
void THistoryWindow::redraw()
{
    const int64_t previousEnd = end, previousStart = end - shownSpan;
    shownSpan = span;
    end = newest();
    const int64_t start = end - span;
    if (longSpan()) {
        if (!hoursSampled) {
            samples.clear();
            samples.reserve(hours.size());
            for (const HourFigures& h : hours)
                samples.push_back(sampleOf(h));
            hoursSampled = true;
        }
    } else {
        samples.clear();
        // The whole ring, not a search in it: after the clock was set back
        // its times are out of order, and ThinLine leaves those out.
        samples.reserve(history.Size());
        for (size_t i = 0; i < history.Size(); ++i)
            if (history[i].Time >= start && history[i].Time <= end)
                samples.push_back(sampleOf(history[i]));
    }
    const PlotColumns columns = ColumnsOf(samples, start, end, Columns());
    for (int f = 0; f < PlotSample::Count; ++f)
        plot->Lines[f] = ThinLine(columns, PlotSample::Figure(f), false);
    for (int b = 0; b < 2; ++b) {
        plot->BandTop[b].clear();
        plot->BandBottom[b].clear();
        if (longSpan()) {
            plot->BandTop[b] = ThinLine(columns, PlotSample::Figure(b), true, PlotKeep::Highest);
            plot->BandBottom[b] = ThinLine(columns, PlotSample::Figure(b), false, PlotKeep::Lowest);
        }
    }
    plot->Cover.clear();
    for (const auto& [from, to] : BlindStretches(samples, start, end, longSpan() ? 5400 : UsualStepLimit(samples)))
        plot->Cover.append({static_cast<qreal>(from) * 1000, static_cast<qreal>(to) * 1000});
    blindHatch->setVisible(!plot->Cover.isEmpty());
    // Few periods are dots as well as lines; a single one would not show at all.
    plot->Dots = plot->Lines[0].size() <= 60;

    // Room after the newest point for its dot and the line's width.
    const qreal width = chart->plotArea().width() > 50 ? chart->plotArea().width() : 700;
    const int64_t pad = std::max<int64_t>(1, static_cast<int64_t>(static_cast<qreal>(span) * 8 / width));
    const QDate first = moment(start).date(), last = moment(end).date();
    const QString format = span > 30 * 86400 ? QStringLiteral("d MMM yyyy")
                           : span > 7 * 86400 ? QStringLiteral("d MMM")
                           : first != last    ? QStringLiteral("d MMM HH:mm")
                                              : QStringLiteral("HH:mm");
    timeAxis->setFormat(format);
    timeAxis->setRange(moment(start), moment(end + pad));
    plot->MinX = static_cast<qreal>(start) * 1000;
    plot->MaxX = static_cast<qreal>(end + pad) * 1000;
    plot->Changed();
    if (end != previousEnd || start != previousStart)
        emit SpanChanged(start, end);
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
    if (!r.HasFigures()) {
        for (TValueLabel* l : {LatestAirtime, LatestLoad, LatestUsage, LatestEfficiency, LatestFrames})
            l->setText(QStringLiteral("-"));
        return;
    }
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

bool THistoryWindow::eventFilter(QObject* watched, QEvent* e)
{
    // A selectable label keeps its text in a document of its own, laid out
    // and drawn anew for each new period: most of the labels' cost. So a
    // figure becomes selectable when the pointer comes over it, which is the
    // only way to select it, and plain again when the pointer has left and it
    // holds neither a selection nor the focus (for copying). Both draw the
    // text alike.
    if (auto* const label = qobject_cast<TValueLabel*>(watched)) {
        bool keep = true;
        switch (e->type()) {
        case QEvent::Enter:
            break;
        case QEvent::Leave:
            keep = label->hasFocus() || label->hasSelectedText();
            break;
        case QEvent::FocusOut: {
            // Another window or a context menu keeps the selection for copying.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
            keep = label->underMouse() || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
            break;
        }
        default:
            return QWidget::eventFilter(watched, e);
        }
        const Qt::TextInteractionFlags flags = keep ? Qt::TextSelectableByMouse : Qt::NoTextInteraction;
        if (label->textInteractionFlags() != flags)
            label->setTextInteractionFlags(flags);
        return QWidget::eventFilter(watched, e);
    }
    if (watched == view->viewport()) {
        switch (e->type()) {
        case QEvent::Paint:
            // Before each paint: the axes make their grid and ticks when first
            // laid out, and the window may have moved to another screen.
            cacheStaticItems(chart, view->viewport()->devicePixelRatioF() == 1.0 ? QGraphicsItem::DeviceCoordinateCache
                                                                                  : QGraphicsItem::NoCache);
            break;
        case QEvent::MouseMove:
            hoverAt(static_cast<QMouseEvent*>(e)->position().toPoint());
            break;
        case QEvent::Leave:
            hideHover();
            break;
        case QEvent::ToolTip:
            // The chart view would hide the period's tip, having none of its own.
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, e);
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
    QLinearGradient classes(0, 1, 0, 0);
    classes.setCoordinateMode(QGradient::ObjectMode);
    const qreal steps[] = {0, 0.25, 0.5, 0.75, 1};
    for (int i = 0; i < 4; ++i) {
        const QColor c = bandColour(background, ClassColours[i], dark);
        classes.setColorAt(steps[i] + (i ? 0.0005 : 0), c);
        classes.setColorAt(steps[i + 1], c);
    }
    chart->setPlotAreaBackgroundBrush(classes);
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
    // colour; load in a colour none of the bands has; usage fainter. All
    // solid: a dashed line of many points costs ten times as much to draw.
    const QColor loadColour = dark ? QColor(0xe0, 0x8c, 0xff) : QColor(0x7b, 0x1f, 0xa2);
    lines[PlotSample::Airtime]->setPen(QPen(text, 2.5));
    lines[PlotSample::Load]->setPen(QPen(loadColour, 2));
    QColor faint = text;
    faint.setAlpha(dark ? 110 : 90);
    QPen usagePen(faint, 1);
    usagePen.setCosmetic(true);
    lines[PlotSample::Usage]->setPen(usagePen);
    for (int f = 0; f < PlotSample::Count; ++f)
        plot->Pens[f] = lines[f]->pen();
    const QColor bandColours[] = {text, loadColour};
    for (int b = 0; b < 2; ++b) {
        QColor c = bandColours[b];
        c.setAlpha(dark ? 70 : 55);
        plot->BandBrushes[b] = c;
    }
    // The cover: the window's own colour, hatched in the text's, so that the
    // lines under it are gone and the stretch still reads as "nothing here".
    QColor cover = background;
    cover.setAlpha(235);
    plot->CoverBrush = cover;
    QColor hatch = text;
    hatch.setAlpha(90);
    plot->HatchBrush = QBrush(hatch, Qt::BDiagPattern);
    blindHatch->setBrush(plot->HatchBrush);
    blindHatch->setPen(Qt::NoPen);
    marker->setPen(QPen(text, 1));
    plot->Changed();
}

void THistoryWindow::hoverAt(const QPoint& At)
{
    const QPointF inChart = chart->mapFromScene(view->mapToScene(At));
    if (samples.empty() || !chart->plotArea().contains(inChart)) {
        hideHover();
        return;
    }
    const double time = chart->mapToValue(inChart, lines[0]).x() / 1000;
    // The nearest period (or hour) by time, wherever the pointer is.
    size_t best = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (std::abs(static_cast<double>(samples[i].Time) - time) < std::abs(static_cast<double>(samples[best].Time) - time))
            best = i;
    const int64_t t = samples[best].Time;
    QString text;
    if (longSpan()) {
        for (const HourFigures& h : hours)
            if (h.Time == t)
                text = HourText(h);
    } else {
        for (size_t i = history.Size(); i-- > 0;)
            if (history[i].Time == t) {
                text = PeriodText(history[i]);
                break;
            }
    }
    if (text.isEmpty()) {
        hideHover();
        return;
    }
    const QRectF area = chart->plotArea();
    const qreal x = chart->mapToPosition(QPointF(static_cast<qreal>(t) * 1000, 0), lines[0]).x();
    marker->setLine(QLineF(x, area.top(), x, area.bottom()));
    marker->setVisible(true);
    markedTime = t;
    // Stays while the pointer stays: no time-out to speak of, and no area
    // to leave but the plot's, which ends the hover through Leave.
    QToolTip::showText(view->viewport()->mapToGlobal(At) + QPoint(14, 14), text, view->viewport(), QRect(),
                       24 * 3600 * 1000);
}

void THistoryWindow::hideHover()
{
    if (markedTime == 0)
        return;
    markedTime = 0;
    marker->setVisible(false);
    QToolTip::hideText();
}

const QList<QPointF>& THistoryWindow::Line(PlotSample::Figure Figure) const
{
    return plot->Lines[Figure];
}

const QList<QPointF>& THistoryWindow::BandTop(PlotSample::Figure Figure) const
{
    return plot->BandTop[Figure == PlotSample::Load ? 1 : 0];
}

const QList<QPointF>& THistoryWindow::BandBottom(PlotSample::Figure Figure) const
{
    return plot->BandBottom[Figure == PlotSample::Load ? 1 : 0];
}

QList<std::pair<qreal, qreal>> THistoryWindow::BlindStretchesDrawn() const
{
    return plot->Cover;
}

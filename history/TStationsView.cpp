// SPDX-License-Identifier: GPL-3.0-or-later
#include "TStationsView.h"

#include "PeriodStore.h"
#include "StationTable.h"
#include "THistoryWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

// Originals, copies, own: distinct in hue and in lightness, so that the band
// reads on a light and a dark theme and without colour vision.
const QColor KindColours[] = {QColor(0x1e, 0x88, 0xe5), QColor(0xff, 0xa7, 0x26), QColor(0x43, 0xa0, 0x47)};
const char* const KindNames[] = {"Originals", "Digipeated copies", "Own transmissions"};

QString oneDecimal(double Value)
{
    return QString::number(Value, 'f', 1);
}

// Display text, and the value the column sorts by.
QStandardItem* cell(const QString& Text, const QVariant& SortKey, Qt::Alignment Align = Qt::AlignRight)
{
    auto* item = new QStandardItem(Text);
    item->setData(SortKey, Qt::UserRole);
    item->setTextAlignment(Align | Qt::AlignVCenter);
    item->setEditable(false);
    return item;
}

} // namespace

QString IntervalText(int64_t Ms)
{
    if (Ms < 0)
        return QStringLiteral("-");
    const int64_t s = (Ms + 500) / 1000;
    if (s < 120)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600 * 2)
        return QStringLiteral("%1:%2 min").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2 h").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

QString LastHeardText(int64_t Time, const QDate& Today)
{
    const QDateTime at = QDateTime::fromSecsSinceEpoch(Time);
    return at.toString(at.date() == Today ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd HH:mm"));
}

TStationsBand::TStationsBand(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Airtime by kind"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TStationsBand::SetAir(int64_t OriginalsMicros, int64_t CopiesMicros, int64_t OwnMicros)
{
    air[0] = std::max<int64_t>(OriginalsMicros, 0);
    air[1] = std::max<int64_t>(CopiesMicros, 0);
    air[2] = std::max<int64_t>(OwnMicros, 0);
    setAccessibleDescription(Text());
    setToolTip(Text());
    update();
}

double TStationsBand::Share(int Kind) const
{
    const int64_t total = air[0] + air[1] + air[2];
    return total > 0 ? 100.0 * static_cast<double>(air[Kind]) / static_cast<double>(total) : 0.0;
}

QString TStationsBand::Text() const
{
    QStringList parts;
    for (int k = 0; k < 3; ++k)
        parts << QStringLiteral("%1 %2%").arg(QString::fromLatin1(KindNames[k]), oneDecimal(Share(k)));
    return parts.join(QStringLiteral(", "));
}

QSize TStationsBand::sizeHint() const
{
    const QFontMetrics m(font());
    int legend = 0;
    for (const char* name : KindNames)
        legend += m.height() + m.horizontalAdvance(QString::fromLatin1(name) + QStringLiteral(" 100.0%")) + 2 * m.height();
    return {legend, m.height() * 3};
}

QSize TStationsBand::minimumSizeHint() const
{
    return {QFontMetrics(font()).height() * 10, QFontMetrics(font()).height() * 3};
}

void TStationsBand::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    const QFontMetrics m(font());
    const int line = m.height();
    const QRect bar(0, 0, width(), line + line / 3);
    const QColor frame = palette().color(QPalette::WindowText);

    const int64_t total = air[0] + air[1] + air[2];
    if (total > 0) {
        // Whole pixels from running sums, so the pieces always fill the bar.
        int64_t sum = 0;
        int left = bar.left();
        for (int k = 0; k < 3; ++k) {
            sum += air[k];
            const int right = bar.left() + static_cast<int>(sum * bar.width() / total);
            p.fillRect(QRect(left, bar.top(), right - left, bar.height()), KindColours[k]);
            left = right;
        }
    }
    p.setPen(frame);
    p.drawRect(bar.adjusted(0, 0, -1, -1));

    // The legend: a swatch, the kind and its share.
    int x = 0;
    const int y = bar.bottom() + line / 3 + 1;
    for (int k = 0; k < 3; ++k) {
        const QRect swatch(x, y + (line - line * 2 / 3) / 2, line * 2 / 3, line * 2 / 3);
        p.fillRect(swatch, KindColours[k]);
        p.drawRect(swatch.adjusted(0, 0, -1, -1));
        const QString label = QStringLiteral("%1 %2%").arg(QString::fromLatin1(KindNames[k]), oneDecimal(Share(k)));
        p.drawText(QPoint(swatch.right() + line / 3, y + m.ascent()), label);
        x = swatch.right() + line / 3 + m.horizontalAdvance(label) + line;
    }
}

TStationsView::TStationsView(QWidget* parent) : QWidget(parent)
{
    model = new QStandardItemModel(0, ColumnCount, this);
    // Headings on two lines, so that the table fits the window; copied on one.
    const char* const headings[] = {"Call",      "Airtime\nshare %", "Airtime\ns",        "Frames",
                                    "Originals", "Copies\nheard",    "Median\ninterval", "Last\nheard"};
    for (int c = 0; c < ColumnCount; ++c) {
        auto* heading = new QStandardItem(QString::fromLatin1(headings[c]));
        heading->setData(heading->text().replace(QLatin1Char('\n'), QLatin1Char(' ')), Qt::UserRole);
        model->setHorizontalHeaderItem(c, heading);
    }
    sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(model);
    sorted->setSortRole(Qt::UserRole);

    table = new QTableView;
    table->setModel(sorted);
    table->setSortingEnabled(true);
    table->sortByColumn(Airtime, Qt::DescendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setAccessibleName(QStringLiteral("Stations"));

    auto* copy = new QAction(QStringLiteral("&Copy"), table);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &TStationsView::CopyTable);
    table->addAction(copy);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);

    band = new TStationsBand;
    auto* bandTitle = new QLabel(QStringLiteral("Channel airtime by kind"));
    othersNote = new QLabel(QStringLiteral("More than 500 stations were heard in a day: the least busy are "
                                           "summed under \"others\"."));
    othersNote->setWordWrap(true);
    othersNote->hide();
    emptyNote = new QLabel;
    emptyNote->setWordWrap(true);
    emptyNote->hide();
    auto* copyButton = new QPushButton(QStringLiteral("Copy &table"));
    connect(copyButton, &QPushButton::clicked, this, &TStationsView::CopyTable);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(othersNote, 1);
    bottom->addWidget(copyButton, 0, Qt::AlignRight | Qt::AlignTop);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(bandTitle);
    column->addWidget(band);
    column->addWidget(emptyNote);
    column->addWidget(table, 1);
    column->addLayout(bottom);
}

void TStationsView::SetSource(StationSource Source)
{
    source = std::move(Source);
    stale = true;
    if (isVisible())
        readRange();
}

void TStationsView::ShowRange(int64_t From, int64_t To)
{
    // Spans beyond a day sum up to millions of rows on a busy channel; read
    // again for every new period they would hold the window up, so they
    // follow new periods at most every ten minutes.
    const bool moved = To - From == to - from;
    from = From;
    to = To;
    if (moved && To - From > 86400 && lastRead.isValid() && lastRead.elapsed() < 600'000)
        return;
    stale = true;
    if (isVisible())
        readRange();
}

void TStationsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (stale)
        readRange();
}

void TStationsView::readRange()
{
    stale = false;
    lastRead.start();
    std::vector<StationRow> rows;
    if (!source.Rows) {
        ShowSpan({});
        emptyNote->setText(QStringLiteral("Stations are kept in the history store, and this run has none."));
        return;
    }
    QString error;
    if (!source.Rows(from, to, rows, error)) {
        ShowSpan({});
        emptyNote->setText(QStringLiteral("The stations of this span cannot be read: %1").arg(error));
        return;
    }
    StationSpan span = SummariseStations(rows);
    if (source.MedianMs)
        for (StationLine& l : span.Lines)
            l.MedianIntervalMs = source.MedianMs(l.Station.Call, from * 1000, to * 1000);
    ShowSpan(span);
}

void TStationsView::ShowSpan(const StationSpan& Span)
{
    emptyNote->setText(QStringLiteral("No station was heard in this span."));
    // Rows are made anew each time; the order the user chose stays.
    model->removeRows(0, model->rowCount());
    const QDate today = QDate::currentDate();
    for (const StationLine& l : Span.Lines) {
        const StationRow& s = l.Station;
        const QString call = QString::fromStdString(s.Call);
        auto* callCell = cell(s.Own ? call + QStringLiteral(" (own)") : call, call, Qt::AlignLeft);
        if (s.Own) {
            QFont bold = font();
            bold.setBold(true);
            callCell->setFont(bold);
            callCell->setToolTip(QStringLiteral("This station's own transmissions"));
        }
        const double seconds = static_cast<double>(s.AirMicros) / 1e6;
        const QString last = s.LastHeard > 0 ? LastHeardText(s.LastHeard, today) : QStringLiteral("-");
        // An unknown median sorts after every known one.
        const qlonglong median = l.MedianIntervalMs < 0 ? std::numeric_limits<qlonglong>::max() : l.MedianIntervalMs;
        model->appendRow({callCell, cell(oneDecimal(l.SharePercent), l.SharePercent),
                          cell(oneDecimal(seconds), static_cast<qlonglong>(s.AirMicros)),
                          cell(QString::number(s.Frames), static_cast<qlonglong>(s.Frames)),
                          cell(QString::number(s.Originated), static_cast<qlonglong>(s.Originated)),
                          cell(QString::number(s.Copies), static_cast<qlonglong>(s.Copies)),
                          cell(IntervalText(l.MedianIntervalMs), median),
                          cell(last, static_cast<qlonglong>(s.LastHeard))});
    }
    sorted->sort(sorted->sortColumn(), sorted->sortOrder());
    band->SetAir(Span.OriginalsMicros, Span.CopiesMicros, Span.OwnMicros);
    othersNote->setVisible(Span.Folded);
    emptyNote->setVisible(Span.Lines.empty());
}

QString TStationsView::TableText() const
{
    QStringList lines;
    QStringList heading;
    for (int c = 0; c < ColumnCount; ++c)
        heading << model->headerData(c, Qt::Horizontal, Qt::UserRole).toString();
    lines << heading.join(QLatin1Char('\t'));

    const QModelIndexList chosen = table->selectionModel()->selectedRows();
    for (int r = 0; r < sorted->rowCount(); ++r) {
        if (!chosen.isEmpty() && !table->selectionModel()->isRowSelected(r, QModelIndex()))
            continue;
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells << sorted->index(r, c).data().toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void TStationsView::CopyTable()
{
    QApplication::clipboard()->setText(TableText());
}

TStationsView* AddStationsView(THistoryWindow* Window, const StationTally& Tally, std::function<int32_t()> Port)
{
    auto* view = new TStationsView;
    if (TPeriodStore* store = Window->Store()) {
        view->SetSource({[store, Port](int64_t From, int64_t To, std::vector<StationRow>& Rows, QString& Error) {
                             if (!store->IsOpen()) {
                                 Error = QStringLiteral("the history store is closed");
                                 return false;
                             }
                             return TStationTable::Stations(store->Database(), Port(), From, To, Rows, Error);
                         },
                         [&Tally](const std::string& Call, int64_t FromMs, int64_t ToMs) {
                             return Tally.MedianIntervalMs(Call, FromMs, ToMs);
                         }});
    }
    QObject::connect(Window, &THistoryWindow::SpanChanged, view, &TStationsView::ShowRange);
    const auto [from, to] = Window->Range();
    view->ShowRange(from, to);
    Window->AddView(view, QStringLiteral("Stations"));
    return view;
}

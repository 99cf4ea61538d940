// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccessibleLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetrics>
#include <QTextDocument>
#include <QtGlobal>

namespace {

// Name: what the label stands for. Value and text: the figure it shows, read
// only, with neither caret nor selection. The text interface is what carries
// the figure onto the desktop's accessibility bus; Qt's own label interface
// has none and would put only the name there.
class AccessibleValueLabel : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit AccessibleValueLabel(TValueLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return figure();
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override
    {
        return figure().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(figure().size()); }
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}

private:
    QString figure() const { return static_cast<const TValueLabel*>(widget())->ValueText(); }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    // Asked by class name from the most derived class on, so this comes before
    // Qt's own interface for plain labels.
    if (className != QLatin1String("TValueLabel") || !object)
        return nullptr;
    return new AccessibleValueLabel(static_cast<TValueLabel*>(object));
}

} // namespace

TValueLabel::TValueLabel(QWidget* parent) : QLabel(parent)
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    (void)installed;
}

QString TValueLabel::ValueText() const
{
    return text().isEmpty() ? accessibleDescription() : text();
}

void TValueLabel::ReserveRoomFor(const QString& Widest)
{
    makeRoom();
    room = fontMetrics().horizontalAdvance(Widest) + 2;
    setMinimumWidth(room);
    // Held once the layout has given it that room (resizeEvent, paintEvent).
}

void TValueLabel::SetFigure(const QString& Text)
{
    if (held && Text != text()) {
        if (fitsRoom(Text))
            fitted = Text;
        else
            makeRoom();
    }
    setText(Text);
}

bool TValueLabel::fitsRoom(const QString& Text) const
{
    // A line of text no wider than the widest figure: QLabel's size hint is
    // its advance rounded up, within the two pixels reserved beside it.
    if (!pixmap().isNull() || Text.contains(QLatin1Char('\n')) || Qt::mightBeRichText(Text))
        return false;
    return fontMetrics().horizontalAdvance(Text) + 2 <= room;
}

void TValueLabel::holdIfSettled()
{
    // Only at exactly the size the layout gives it for its room: a label
    // that got more (a wider column) or is between two passes of a layout
    // is left to the layout.
    if (held || room == 0 || width() != room || !fitsRoom(text()) || height() != sizeHint().height())
        return;
    ownMinimum = minimumSize();
    ownMaximum = maximumSize();
    held = true;
    fitted = text();
    setFixedSize(size());
}

void TValueLabel::letGo()
{
    if (!held)
        return;
    held = false;
    setMinimumSize(ownMinimum);
    setMaximumSize(ownMaximum);
}

void TValueLabel::makeRoom()
{
    // A label that grows may widen the column or row of others, which a
    // held size would keep from following: they all let go.
    for (TValueLabel* figure : window()->findChildren<TValueLabel*>())
        figure->letGo();
    letGo();
}

void TValueLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    holdIfSettled();
}

void TValueLabel::changeEvent(QEvent* event)
{
    // Another font or style gives the text another size.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        makeRoom();
    QLabel::changeEvent(event);
}

void TValueLabel::paintEvent(QPaintEvent* event)
{
    // A figure set by setText() that needs more room: laid out and drawn again.
    if (held && text() != fitted) {
        if (!fitsRoom(text()))
            makeRoom();
        else
            fitted = text();
    }
    holdIfSettled();
    const QString now = ValueText();
    if (now != announced) {
        QAccessibleTextUpdateEvent change(this, 0, announced, now);
        announced = now;
        QAccessible::updateAccessibility(&change);
    }
    QLabel::paintEvent(event);
}

void MarkValueLabel(QLabel* Label, const QString& Name)
{
    if (!qobject_cast<TValueLabel*>(Label)) {
        // Named, a plain label would no longer tell its text at all.
        qWarning("MarkValueLabel: %s is a plain QLabel, not a TValueLabel", qPrintable(Label->objectName()));
        return;
    }
    // An accessible name also keeps QLabel from announcing each new text as a
    // change of name.
    Label->setAccessibleName(Name);
}

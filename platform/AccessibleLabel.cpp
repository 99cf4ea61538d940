#include "AccessibleLabel.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

const char* const NameProperty = "chanloadValueName";

// Name: what the label stands for; Value: its text, or for a picture its description.
class AccessibleValueLabel : public QAccessibleWidget {
public:
    explicit AccessibleValueLabel(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        const auto* label = static_cast<const QLabel*>(widget());
        switch (t) {
        case QAccessible::Name:
            return label->property(NameProperty).toString();
        case QAccessible::Value:
            return label->text().isEmpty() ? label->accessibleDescription() : label->text();
        default:
            return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    // Asked by class name from the most derived class on, so this comes before
    // Qt's own interface for plain labels.
    if (className != QLatin1String("TValueLabel") || !object)
        return nullptr;
    return new AccessibleValueLabel(static_cast<QLabel*>(object));
}

} // namespace

TValueLabel::TValueLabel(QWidget* parent) : QLabel(parent)
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    (void)installed;
}

void MarkValueLabel(QLabel* Label, const QString& Name)
{
    Label->setProperty(NameProperty, Name);
    Label->setAccessibleName(Name);
}

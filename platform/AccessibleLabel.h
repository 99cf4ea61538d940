#pragma once
// Labels that show a live value: a screen reader hears what the value is
// (the name) and the value itself, e.g. "Frames" and "12".
#include <QLabel>

class TValueLabel : public QLabel {
    Q_OBJECT
public:
    explicit TValueLabel(QWidget* parent = nullptr);
};

// Names the value a label shows, for screen readers.
void MarkValueLabel(QLabel* Label, const QString& Name);

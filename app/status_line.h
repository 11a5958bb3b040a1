#pragma once

#include <QLabel>

// The status line: one line over the bottom of the display, shown while it has
// something to say. Every action replaces its text; a failure shows on red.
class StatusLine : public QLabel
{
    Q_OBJECT
public:
    explicit StatusLine(QWidget* poArea);

    // Shows a failure (red) or a notice; an empty text hides the line.
    void vShow(const QString& sText, bool bFailure);
    // The words for a value a field refuses: the field, the text and what it takes.
    void vRefuseValue(const QString& sField, const QString& sText, const QString& sAllowed);
    // Spans the bottom of the display area; returns the line's top, the lowest
    // place the display's own widgets may reach.
    int iPlace();
};

#include "status_line.h"

StatusLine::StatusLine(QWidget* poArea) : QLabel(poArea)
{
    setObjectName(QStringLiteral("StatusLine"));
    setAutoFillBackground(true);
    setContentsMargins(8, 0, 8, 0);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    hide();
}

void StatusLine::vShow(const QString& sText, bool bFailure)
{
    QPalette oPalette = palette();
    oPalette.setColor(QPalette::Window, bFailure ? QColor(150, 20, 20) : QColor(48, 48, 48));
    oPalette.setColor(QPalette::WindowText, Qt::white);
    setPalette(oPalette);
    setText(sText);
    setToolTip(sText);
    setVisible(!sText.isEmpty());
    raise();
}

void StatusLine::vRefuseValue(const QString& sField, const QString& sText, const QString& sAllowed)
{
    vShow(QStringLiteral("%1: \"%2\" refused (allowed: %3)").arg(sField, sText.trimmed(), sAllowed), true);
}

int StatusLine::iPlace()
{
    const QWidget* poArea = parentWidget();
    const int iHeight = sizeHint().height() + 6;
    const int iTop = poArea->height() - iHeight;
    setGeometry(0, iTop, poArea->width(), iHeight);
    return iTop;
}

#include "panel_widgets.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVariant>

QLabel* poMakeLabel(QWidget* poParent, const char* pszName, const QString& sText, const QRect& oRect)
{
    QLabel* poLabel = new QLabel(sText, poParent);
    poLabel->setObjectName(QLatin1String(pszName));
    poLabel->setGeometry(oRect);
    poLabel->setAlignment(Qt::AlignCenter);
    return poLabel;
}

QFrame* poMakeGroup(QWidget* poParent, const char* pszName, const QString& sHeading, const QRect& oRect,
                    QLabel** ppoHeading)
{
    QLabel* poHeading = new QLabel(sHeading, poParent);
    poHeading->setObjectName(QLatin1String(pszName) + QLatin1String("Heading"));
    poHeading->setGeometry(oRect.x(), oRect.y() - 19, oRect.width(), 18);
    poHeading->setAlignment(Qt::AlignCenter);
    QFont oBold = poHeading->font();
    oBold.setWeight(QFont::Bold);
    poHeading->setFont(oBold);
    poHeading->setAutoFillBackground(true);
    QPalette oPalette = poHeading->palette();
    oPalette.setColor(QPalette::Window, oPalette.color(QPalette::Dark));
    oPalette.setColor(QPalette::WindowText, Qt::white);
    poHeading->setPalette(oPalette);
    if (ppoHeading) *ppoHeading = poHeading;

    QFrame* poFrame = new QFrame(poParent);
    poFrame->setObjectName(QLatin1String(pszName));
    poFrame->setGeometry(oRect);
    poFrame->setFrameShape(QFrame::StyledPanel);
    poFrame->setFrameShadow(QFrame::Raised);
    return poFrame;
}

QComboBox* poMakeCombo(QWidget* poParent, const char* pszName, const char* const* ppszItems, int iCount,
                       const QRect& oRect)
{
    QComboBox* poCombo = new QComboBox(poParent);
    poCombo->setObjectName(QLatin1String(pszName));
    poCombo->setGeometry(oRect);
    for (int i = 0; i < iCount; i++)
        poCombo->addItem(QLatin1String(ppszItems[i]));
    return poCombo;
}

QSlider* poMakeSlider(QWidget* poParent, const char* pszName, int iMin, int iMax, int iPageStep, bool bTicks,
                      const QString& sCaption, const QRect& oRect, int iCaptionWidth, int iValueWidth,
                      tdControlRow* poRow)
{
    const QString sName = QLatin1String(pszName);
    QLabel* poCaption = poMakeLabel(poParent, (sName + QLatin1String("Label")).toLatin1().constData(),
                                    sCaption, QRect(oRect.x(), oRect.y(), iCaptionWidth, oRect.height()));
    poCaption->setWordWrap(true);
    QSlider* poSlider = new QSlider(Qt::Horizontal, poParent);
    poSlider->setObjectName(sName);
    poSlider->setGeometry(oRect.x() + iCaptionWidth, oRect.y(), oRect.width() - iCaptionWidth - iValueWidth,
                          oRect.height());
    poSlider->setRange(iMin, iMax);
    poSlider->setSingleStep(1);
    poSlider->setPageStep(iPageStep);
    if (bTicks)
    {
        poSlider->setTickPosition(QSlider::TicksBelow);
        poSlider->setTickInterval(1);
    }
    QLabel* poValue =
        poMakeLabel(poParent, (sName + QLatin1String("Value")).toLatin1().constData(), QStringLiteral("0"),
                    QRect(oRect.x() + oRect.width() - iValueWidth, oRect.y(), iValueWidth, oRect.height()));
    *poRow = {poCaption, poSlider, poValue};
    return poSlider;
}

QComboBox* poMakeComboRow(QWidget* poParent, const char* pszName, const char* const* ppszItems, int iCount,
                          const QString& sCaption, int iX, int iY, int iCaptionWidth, int iComboWidth,
                          tdControlRow* poRow)
{
    QLabel* poCaption =
        poMakeLabel(poParent, (QLatin1String(pszName) + QLatin1String("Label")).toLatin1().constData(),
                    sCaption, QRect(iX, iY, iCaptionWidth, 32));
    QComboBox* poCombo =
        poMakeCombo(poParent, pszName, ppszItems, iCount, QRect(iX + iCaptionWidth, iY + 3, iComboWidth, 26));
    if (poRow) *poRow = {poCaption, poCombo, nullptr};
    return poCombo;
}

QPushButton* poMakeButton(QWidget* poParent, const char* pszName, const QString& sText, const QRect& oRect)
{
    QPushButton* poResult = new QPushButton(sText, poParent);
    poResult->setObjectName(QLatin1String(pszName));
    poResult->setGeometry(oRect);
    return poResult;
}

void vEnableWithReason(QWidget* poWidget, bool bEnabled, const char* pszReason)
{
    if (!poWidget) return;
    if (!poWidget->property("qevBaseToolTip").isValid())
        poWidget->setProperty("qevBaseToolTip", poWidget->toolTip());
    const QString sBase = poWidget->property("qevBaseToolTip").toString();
    const QString sWhy = QStringLiteral("Disabled: %1.").arg(QLatin1String(pszReason));
    poWidget->setToolTip(bEnabled ? sBase : sBase.isEmpty() ? sWhy : sBase + QLatin1Char('\n') + sWhy);
    poWidget->setEnabled(bEnabled);
}

void vEnableRow(const tdControlRow& oRow, bool bEnabled, const char* pszReason)
{
    vEnableWithReason(oRow.poCaption, bEnabled, pszReason);
    vEnableWithReason(oRow.poControl, bEnabled, pszReason);
    vEnableWithReason(oRow.poValue, bEnabled, pszReason);
}

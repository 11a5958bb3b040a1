#pragma once

// The building blocks of the settings panel, shared by the rooms that put their
// controls on it: captioned controls, groups with a heading, control rows, and
// enabling that says why a control is disabled. Every control gets the object
// name the tests and the settings use.

#include <QRect>
#include <QString>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;

// A caption label, the control it names and, for sliders, the label showing the
// value: enabled and disabled together.
struct tdControlRow
{
    QLabel* poCaption;
    QWidget* poControl;
    QLabel* poValue; // null for controls without a value label
};

// A centred label.
QLabel* poMakeLabel(QWidget* poParent, const char* pszName, const QString& sText, const QRect& oRect);
// A framed group with a bold heading above it; *ppoHeading (when not null) receives the heading.
QFrame* poMakeGroup(QWidget* poParent, const char* pszName, const QString& sHeading, const QRect& oRect,
                    QLabel** ppoHeading);
QComboBox* poMakeCombo(QWidget* poParent, const char* pszName, const char* const* ppszItems, int iCount,
                       const QRect& oRect);
// A combo box with its caption at the left (32 pixels high); *poRow receives both.
QComboBox* poMakeComboRow(QWidget* poParent, const char* pszName, const char* const* ppszItems, int iCount,
                          const QString& sCaption, int iX, int iY, int iCaptionWidth, int iComboWidth,
                          tdControlRow* poRow);
// A slider with its caption at the left and its value label ("0") at the right.
QSlider* poMakeSlider(QWidget* poParent, const char* pszName, int iMin, int iMax, int iPageStep, bool bTicks,
                      const QString& sCaption, const QRect& oRect, int iCaptionWidth, int iValueWidth,
                      tdControlRow* poRow);
QPushButton* poMakeButton(QWidget* poParent, const char* pszName, const QString& sText, const QRect& oRect);

// Enables or disables a control; a disabled one's tooltip adds the reason (Qt
// shows tooltips of disabled widgets too). The tooltip without a reason is the
// one the control had at the first call.
void vEnableWithReason(QWidget* poWidget, bool bEnabled, const char* pszReason);
void vEnableRow(const tdControlRow& oRow, bool bEnabled, const char* pszReason);

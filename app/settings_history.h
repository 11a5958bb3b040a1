#pragma once

#include "qev/base/settings.h"

#include <QObject>

class QUndoStack;

// Undo and Redo of edits of the settings record: palette edits and resets to the
// defaults. Each edit is recorded after it was made, with the record before it;
// undoing puts back the whole record, or only its custom palette.
class SettingsHistory : public QObject
{
    Q_OBJECT
public:
    // poSettings is the record edited (the window's), for the life of the history.
    SettingsHistory(tdSettings* poSettings, QObject* poParent);

    tdSettings* m_poSettings;
    QUndoStack* m_poStack;

    // Records a change already made to the record: oBefore is the record before
    // it; bWhole restores the whole record, else only the custom palette.
    // Consecutive edits with the same merge id (not -1) undo as one. A change
    // that changed nothing is not recorded.
    void vRecord(const QString& sText, const tdSettings& oBefore, bool bWhole, int iMergeId = -1);
    // Puts a record (whole, or its custom palette) back in place, for Undo and Redo.
    void vRestore(const tdSettings& oSettings, bool bWhole);

signals:
    // Undo or Redo changed the record; bWhole: every control must be set again.
    void vRestored(bool bWhole);
};

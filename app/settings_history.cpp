#include "settings_history.h"

#include <QUndoStack>

#include <cstring>

namespace
{

// One undoable change of the settings record: the record before and after it.
// The change is made before the command is pushed, so its first redo does nothing.
class SettingsEdit : public QUndoCommand
{
public:
    SettingsEdit(SettingsHistory* poHistory, const QString& sText, const tdSettings& oBefore, bool bWhole,
                 int iMergeId)
        : QUndoCommand(sText), m_poHistory(poHistory), m_bWhole(bWhole), m_iMergeId(iMergeId)
    {
        memcpy(&m_oBefore, &oBefore, sizeof(tdSettings));
        memcpy(&m_oAfter, poHistory->m_poSettings, sizeof(tdSettings));
    }
    void undo() override { m_poHistory->vRestore(m_oBefore, m_bWhole); }
    void redo() override
    {
        if (!m_bDone)
            m_bDone = true;
        else
            m_poHistory->vRestore(m_oAfter, m_bWhole);
    }
    int id() const override { return m_iMergeId; }
    bool mergeWith(const QUndoCommand* poOther) override
    {
        const SettingsEdit* poEdit = static_cast<const SettingsEdit*>(poOther);
        memcpy(&m_oAfter, &poEdit->m_oAfter, sizeof(tdSettings));
        return true;
    }

private:
    SettingsHistory* m_poHistory;
    tdSettings m_oBefore;
    tdSettings m_oAfter;
    bool m_bWhole;
    int m_iMergeId;
    bool m_bDone = false;
};

} // namespace

SettingsHistory::SettingsHistory(tdSettings* poSettings, QObject* poParent)
    : QObject(poParent), m_poSettings(poSettings), m_poStack(new QUndoStack(this))
{
}

void SettingsHistory::vRecord(const QString& sText, const tdSettings& oBefore, bool bWhole, int iMergeId)
{
    if (memcmp(&oBefore, m_poSettings, sizeof(tdSettings)) == 0) return;
    m_poStack->push(new SettingsEdit(this, sText, oBefore, bWhole, iMergeId));
}

void SettingsHistory::vRestore(const tdSettings& oSettings, bool bWhole)
{
    if (bWhole)
        memcpy(m_poSettings, &oSettings, sizeof(tdSettings));
    else
        memcpy(m_poSettings->CustomPalette, oSettings.CustomPalette, sizeof(m_poSettings->CustomPalette));
    emit vRestored(bWhole);
}

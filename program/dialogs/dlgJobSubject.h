// The job dialog and the subject's property sheet of the properties command. A board job's name
// and description are shown read-only; a job with a negative ID is only shown, with "Закрыть";
// the subject sheet never changes its subject.
#pragma once

#include "IChNode.h"

#include <kvui/kvui.h>
#include <kvui/sheet.h>

class dlgJobCPA : public KvUi::CDialog {
public:
    dlgJobCPA(KvUi::CWnd* parent, CIChJob* job);

    BOOL OnInitDialog() override;
    void OnOK() override;
    bool IsReadOnly() const { return m_bReadOnly; }

protected:
    void OnNameChange();

    CIChJob* m_pJob;
    bool m_bReadOnly; // the edits are read-only (a board job, a job with a negative ID)
    bool m_bLocked;   // nothing can be confirmed (a job with a negative ID)

    KV_DECLARE_MESSAGE_MAP()
};

class ppSubjGeneral : public KvUi::CPropertyPage {
public:
    explicit ppSubjGeneral(CIChSubject* subject);
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    static const UINT kSubjectKinds[3]; // string ids

protected:
    CIChSubject* m_pSubject;
};

class dlgSubject : public KvUi::CPropertySheet {
public:
    dlgSubject(KvUi::CWnd* parent, CIChSubject* subject);
    ~dlgSubject() override;
    // Whether the subject may be confirmed with OK (this computer's subject that is not locked).
    static bool CanConfirm(const CIChSubject* subject);
    // The page the sheet opens on; OK keeps the page that was active.
    static int s_nActivePage;

protected:
    ppSubjGeneral* m_pGeneral;
};

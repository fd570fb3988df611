// The job dialog and the subject's property sheet of the properties command. A board job, and a
// job with a negative ID, are shown read-only; the subject sheet never changes its subject.
#pragma once

#include "IChNode.h"

#include <kvui/kvui.h>
#include <kvui/sheet.h>

class dlgJobCPA : public KvUi::CDialog {
public:
    // isNew: the job is being created (the properties command passes 0).
    dlgJobCPA(KvUi::CWnd* parent, CIChJob* job, int isNew);

    BOOL OnInitDialog() override;
    void OnOK() override;
    bool IsReadOnly() const { return m_bReadOnly; }

protected:
    void OnNameChange();

    CIChJob* m_pJob;
    int m_bNew;
    bool m_bReadOnly;

    KV_DECLARE_MESSAGE_MAP()
};

class ppSubjGeneral : public KvUi::CPropertyPage {
public:
    explicit ppSubjGeneral(CIChSubject* subject);
    BOOL OnInitDialog() override;
    BOOL OnApply() override;
    static const wchar_t* const kSubjectKinds[3];

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

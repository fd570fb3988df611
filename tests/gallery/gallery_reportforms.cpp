// The gallery of the report forms: each report wizard drawn through its own class with its
// start-up run (banner, first page), then on its report file page, and the page-numbering dialog,
// saved as build/gallery/KvReportForms64-<template>[-<state>].png. A template of the report
// forms that no picture shows fails the last test.
#include <gtest/gtest.h>

#include <windows.h>

#include "kvgallery.h"
#include "kvpresenter.h"

#include "ReportWizards.h"
#include "WizardPages.h"
#include "reportforms_ids.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

const int g_init = (::InitCommonControls(), ::CoInitialize(nullptr), 0);

std::set<UINT>& Drawn() {
    static std::set<UINT> drawn;
    return drawn;
}

void Shoot(HWND top, const std::wstring& name, std::initializer_list<UINT> templates) {
    std::wstring folder = KvGallery::Folder();
    ASSERT_FALSE(folder.empty()) << "KV_GALLERY_DIR is not set";
    std::wstring png = folder + L"\\KvReportForms64-" + name + L".png";
    EXPECT_EQ(S_OK, KvGallery::ShootTop(top, png)) << png.c_str();
    Drawn().insert(templates.begin(), templates.end());
}

// A wizard through its class: its first page, and (for a wizard of two pages) its report file
// page after "Далее >>"; then it is cancelled.
template <class W>
void ShootWizard(UINT id, UINT firstPage) {
    SCOPED_TRACE(id);
    KvTest::CScopedPresenter presenter;
    bool shown = false;
    presenter.OnDialog(id, [&](KvUi::CDialog& d) {
        shown = true;
        std::wstring name = std::to_wstring(id);
        if (firstPage) {
            Shoot(d.m_hWnd, name, {id, firstPage});
            ::SendMessageW(::GetDlgItem(d.m_hWnd, IDC_NEXT), BM_CLICK, 0, 0);
            KvGallery::PumpFor(100);
            EXPECT_TRUE(static_cast<CReportWizard&>(d).IsFilePageShown());
            name += L"-file";
        }
        Shoot(d.m_hWnd, name, {id, IDD_REPORT_FILE});
        d.EndDialog(IDCANCEL);
    });
    W wizard;
    wizard.SetComputerName(L"WORKSTATION");
    wizard.DoModal();
    EXPECT_TRUE(shown);
}

TEST(ReportFormsGallery, Wizards) {
    ShootWizard<CDlgEventLog>(IDD_EVENTLOG, IDD_EVENTLOG_START);
    ShootWizard<CDlgVarno>(IDD_VARNO, IDD_VARNO_START);
    ShootWizard<CDlgPassportWS>(IDD_PASSPORT_WS, 0);
    ShootWizard<CDlgResourcesWS>(IDD_RESOURCES_WS, 0);
}

TEST(ReportFormsGallery, PageNumbering) {
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog(IDD_SETTINGS, [](KvUi::CDialog& d) {
        Shoot(d.m_hWnd, std::to_wstring(IDD_SETTINGS), {IDD_SETTINGS});
        d.EndDialog(IDCANCEL);
    });
    SPageNumbering record = {1, 0, 1};
    CDlgSettings dlg(&record);
    dlg.DoModal();
}

BOOL CALLBACK CollectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<UINT>*>(param)->push_back((UINT)(UINT_PTR)name);
    return TRUE;
}

TEST(ReportFormsGallery, EveryTemplateHasItsPicture) {
    std::vector<UINT> ids;
    ::EnumResourceNamesW(::GetModuleHandleW(nullptr), RT_DIALOG, CollectId, reinterpret_cast<LONG_PTR>(&ids));
    EXPECT_FALSE(ids.empty());
    for (UINT id : ids)
        EXPECT_TRUE(Drawn().count(id)) << "no picture of dialog " << id;
}

} // namespace

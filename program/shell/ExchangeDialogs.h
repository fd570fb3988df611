// The dialogs that name the file of a model or object exchange: export of the whole model, export
// of chosen objects, import of a model file with its categories, import of objects of one kind.
// They only choose and check the file and the options; the frame's commands read the results
// after OK. Every path field filters what is typed (PathEditFilter).
#pragma once

#include <kvui/kvui.h>
#include <PathEdit.h>

#include <memory>
#include <string>

// A relative export path (one character, or not starting with a drive or "\\\\") placed in the
// documents folder; others as they are.
std::wstring PlaceExportPath(const std::wstring& path);

// The user's documents folder (or the current directory) with a trailing backslash.
std::wstring DocumentsFolder();

// The common part: the path field, its filter, the remembered folder of the class and the picker.
class CExchangeDialog : public KvUi::CDialog {
public:
    CExchangeDialog(UINT templateId, HWND parent, std::wstring& rememberedFolder, int pathId);
    std::wstring m_strFileName;

protected:
    // The path field changed (each dialog's map names its field): read it filtered into
    // m_strFileName (trailing backslashes dropped).
    virtual void OnPathChange();
    virtual void UpdateOk() {}
    // The picker on the current path, with the title and the file types of the string table; a
    // chosen file goes into the path field.
    void Browse(bool save, UINT titleId, UINT filterId);
    // Keeps the folder of the confirmed path for the next dialog of the class.
    void RememberFolder();
    // The export checks: a relative path goes below the documents folder; an existing file is
    // replaced only on the user's word and only when it can be (the export writes the new file
    // beside it and replaces it when complete). True when the dialog may close.
    bool CheckExportPath();
    void SetKindCaption(const std::wstring& base, int kind);

    std::wstring& m_folder;
    int m_nPathId;
};

class dlgExportModel : public CExchangeDialog {
public:
    explicit dlgExportModel(HWND parent);
    BOOL OnInitDialog() override;
    void OnOK() override;
    static std::wstring s_folder;

protected:
    void UpdateOk() override;
    void OnBrowse();

    KV_DECLARE_MESSAGE_MAP()
};

class dlgExportNodes : public CExchangeDialog {
public:
    dlgExportNodes(HWND parent, int kind, int all);
    BOOL OnInitDialog() override;
    void OnOK() override;
    int m_nKind;
    int m_bAll;
    int m_bWithSubordinates = 1;
    static std::wstring s_folder;

protected:
    void UpdateOk() override;
    void OnBrowse();
    void OnNoSubordinates();

    KV_DECLARE_MESSAGE_MAP()
};

class dlgImportNodes : public CExchangeDialog {
public:
    dlgImportNodes(HWND parent, int kind);
    BOOL OnInitDialog() override;
    void OnOK() override;
    int m_nKind;
    int m_bWithSubordinates = 1;
    static std::wstring s_folder;

protected:
    void UpdateOk() override;
    void OnBrowse();
    void OnNoSubordinates();

    KV_DECLARE_MESSAGE_MAP()
};

class dlgImportModel : public CExchangeDialog {
public:
    explicit dlgImportModel(HWND parent);
    BOOL OnInitDialog() override;
    void OnOK() override;
    // Runs a scan that waits for typing to pause at once (tests and the picker use it).
    void FlushPrescan();

    int m_bFileValid = 0;
    int m_nVersion = 0;
    int m_bClearModel;
    int m_bMergeExisting;
    int m_bTasks = 1;
    int m_bGroups = 1;
    int m_bResources = 1;
    int m_nScans = 0; // how many files were scanned (tests read it)
    static std::wstring s_folder;

protected:
    void OnPathChange() override;
    void UpdateOk() override;
    void Prescan();
    void OnBrowse();
    void OnClear();
    void OnAdd();
    void OnTasks();
    void OnGroups();
    void OnResources();
    void OnTimer(UINT_PTR id);
    bool m_bScanPending = false;

    KV_DECLARE_MESSAGE_MAP()
};

// Where new resources come from: a model file (method 0) or the security log over a period and for
// a user (method 1). The commands offer one of the two: (1, 0) the file, (0, 1) the log.
class dlgImportResources : public CExchangeDialog {
public:
    dlgImportResources(HWND parent, int fileOffered, int logOffered);
    BOOL OnInitDialog() override;
    void OnOK() override;

    // Read after OK: the method; for 0 the path (m_strFileName), for 1 the period (UTC) and the
    // user (empty for every user).
    int m_nMethod = 0;
    FILETIME m_ftStart = {};
    FILETIME m_ftEnd = {};
    std::wstring m_strUser;
    int m_bFileOffered;
    int m_bLogOffered;
    static std::wstring s_folder;

    // Whether OK may be pressed now (the period is read from the pickers for the log).
    bool IsValid();

protected:
    void UpdateOk() override;
    void OnMethodChange();
    void OnBrowse();
    void OnFindUsers();
    void OnPeriodChange(NMHDR* hdr, LRESULT* pResult);
    // The file alone: the log's part goes and the buttons move up under the path.
    void FitFileOnly();

    KV_DECLARE_MESSAGE_MAP()
};

// The resource dialog: creates one resource (kind, path, the "Контролировать" and "Выполняемый"
// marks, the parameters a picker gave) or shows an existing one, whose kind and path are fixed
// and whose marks may change. It writes into the resource only on OK; adding it to the model and
// linking it are the caller's.
#pragma once

#include "IChDataModel.h"

#include <kvui/kvui.h>

#include <list>
#include <map>
#include <string>
#include <vector>

class dlgResource : public KvUi::CDialog {
public:
    // The model comes from the parent when it is the program's main window (IModelViewHost);
    // SetModel gives another. Mask bits: 1 files, 2 registry, 4 disk sectors, 8 hardware, 16 SMBIOS.
    dlgResource(KvUi::CWnd* parent, CIChResorce* resource, int kindMask);

    void SetModel(CIChDataModel* model) { m_pModel = model; }
    // The executable marking by extension (on, and the list "ext; ext, ext" as the settings
    // hold it). The constructor takes the program's defaults.
    void SetExeByExtension(int on, const std::wstring& extensions);
    // Parameters of a picked disk sector or device, stored into the resource on OK. A key that is
    // already present keeps its value.
    void AddPendingParam(const std::wstring& key, const _value_t& value);
    void ClearPendingParams() { m_Params.clear(); }

    BOOL OnInitDialog() override;
    void OnOK() override;

    // What the dialog holds now (tests read it).
    int GetKind() const { return m_nKind; }
    int GetKindMask() const { return m_nMask; }
    const std::wstring& GetPath() const { return m_strPath; }
    bool IsCreateMode() const { return m_bCreate; }
    const std::list<std::wstring>& GetExeExtensions() const { return m_ExeExtensions; }
    // Whether the path has one of the executable extensions (kind file, marking on).
    bool HasExeExtension(const std::wstring& path) const;
    // Whether the entered path may be taken (OK's state).
    bool Validate() const;

    static const wchar_t* const kDefaultExeExtensions;

protected:
    void OnKindChange();
    void OnPathChange();
    void OnCheckClicked();
    void OnBrowse();
    void SetPathText(const std::wstring& text);
    int SelectedKindEntryData() const;

    CIChResorce* m_pResource;
    CIChDataModel* m_pModel = nullptr;
    std::wstring m_strPath;
    int m_nKind;
    int m_nMask;
    bool m_bCreate;
    int m_bExeByExten = 1;
    std::list<std::wstring> m_ExeExtensions;
    std::map<std::wstring, _value_t> m_Params;
    bool m_bFilling = false; // the dialog writes the path edit itself

    KV_DECLARE_MESSAGE_MAP()
};

// The text of a path field as the user types it: '/' becomes '\'; '|', '<', '>', '?', '*' and
// every ':' but the second character are dropped. True when the text changed.
bool FilterPathText(std::wstring& text);

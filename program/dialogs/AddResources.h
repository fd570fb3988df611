// Bulk resource creation "Создание ресурсов": the user composes operations (chosen files, the
// files of a folder with or without file filters, the values or keys of a registry key, disk
// sectors, hardware entries) and the caller turns them into resources after IDOK. The dialog
// keeps the file filter lines in the profile section "Filters".
#pragma once

#include <kvui/dialog.h>

#include <kvui/editlist.h>
#include <valkit.h>

#include <list>
#include <map>
#include <memory>
#include <string>

class CIChResorce;
class CNodeImageList;

// One operation that produces resources.
struct SResourceOperation {
    int nKind = 0;                           // KindFiles ... KindSmbiosField
    int bNested = 0;                         // nested folders or subkeys are taken too
    std::wstring strPath;                    // file, folder, registry key, or a picked entry's path text
    std::list<std::wstring> filters;         // file masks (kinds 1-3); empty: all files
    std::map<std::wstring, _value_t> params; // resource parameters (kinds 6-9)
};
typedef std::list<SResourceOperation*> CResourceOperationList;

// Makes a resource of a picked-entry operation (kinds 6-9: a disk sector, a PCI device, an SMBIOS
// table or field): its SubType, its name (the path text) and its parameters; the resource is
// controlled. 0 (and the resource untouched) for another kind.
int FillResourceFromOperation(const SResourceOperation& op, CIChResorce& resource);

class dlgAddResources : public KvUi::CDialog {
public:
    enum Kind {
        KindFiles = 0,       // "Выбранные файлы"
        KindFolderFiles = 1, // "Файлы по каталогу"
        KindFoldersWithFiles = 2,
        KindFolders = 3,
        KindRegValues = 4, // "Переменные по ключу"
        KindRegKeys = 5,   // "Ключи с переменными"
        KindSectors = 6,   // "Секторы дисков"
        KindPciDevice = 7, // "Конфигурация оборудования"
        KindSmbiosTable = 8,
        KindSmbiosField = 9,
    };
    static std::wstring KindName(int kind);

    // selector: 0 files, 1 registry, 2 disk sectors, 3 hardware, any other value all four.
    // exeByExten: the setting that marks new files executable by their extension.
    dlgAddResources(KvUi::CWnd* pParent, CResourceOperationList* operations, int selector, int exeByExten = 1);
    // Deletes every record still in the caller's list and empties it.
    ~dlgAddResources() override;

    BOOL OnInitDialog() override;
    void OnOK() override;

    int m_bMarkExecutable = 0; // a result: mark executables by the extension list

    int GetKindBits() const { return m_nKindBits; }
    KvUi::CEditListBox& GetFilterList() { return m_filters; }
    // Selects a kind in the kind list (as the user does) by its kind.
    bool SelectKind(int kind);
    // The text of a record's row.
    static std::wstring OperationText(const SResourceOperation& op);

protected:
    void OnKindChanged();
    void OnAllFiles();
    void OnByFilter();
    void OnAddOperation();
    void OnRemoveOperations();
    void OnOperationChanged(NMHDR* hdr, LRESULT* pResult);
    int SelectedKind() const;
    void LoadFilters();
    void SaveFilters();
    // The masks of a folder operation; false when "По фильтру" has no line to take them from.
    bool FolderFilters(std::list<std::wstring>& masks);
    void Append(SResourceOperation* op);
    void RefillOperations();
    void UpdateButtons();
    int RecordImage(const SResourceOperation& op);

    CResourceOperationList* m_pOperations;
    int m_nKindBits;
    int m_nExeByExten;
    KvUi::CEditListBox m_filters;
    std::unique_ptr<CNodeImageList> m_images;

    KV_DECLARE_MESSAGE_MAP()
};

// bulk_bench [files]
// "Создать ресурсы" of the main window over a folder tree of that many files (a hundred folders of
// equal share), all of them into one group with the executable marks, the dialog answered as a user
// does it; as a ratio to creating the same resources in a model without any window. The reading
// of the folder tree alone is given beside it.
#include "AddResources.h"
#include "BenchFrame.h"
#include "BenchHost.h"
#include "BenchTree.h"
#include "DaVIdevaRez.h"
#include "Pickers.h"
#include "pickers_ids.h"

#include <KvExchangeUtils.h>

#include <cstdio>
#include <string>

CDaVIdevaRezApp theApp;

namespace {

void Create(CIChDataModel& model, const std::wstring& root, int count, int perFolder) {
    for (int i = 0; i < count; ++i) {
        CIChResorce* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->SetSubType(ResFile);
        r->SetName(FilePath(root, i, perFolder));
        r->m_Id = model.TakeNextId(NodeTypeResource);
    }
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = BenchCount(argc, argv);
    const int perFolder = (count + kFolders - 1) / kFolders;
    ::InitCommonControls();
    theApp.ResetSettings(); // the program's defaults: the executable extensions among them
    const std::wstring root = BenchTreeRoot(count);
    double t = Now();
    if (!MakeTree(root, count, perFolder)) {
        fprintf(stderr, "the folder tree could not be made\n");
        return 1;
    }
    const double made = Now() - t;

    t = Now();
    {
        CIChDataModel plain;
        Create(plain, root, count, perFolder);
    }
    const double create = Now() - t;

    t = Now();
    size_t read = 0;
    {
        CIChNodeList found;
        GetDirResources(root.c_str(), &found, 0, 1, nullptr);
        read = found.size();
        for (CIChNode* n : found)
            delete n;
    }
    const double reading = Now() - t;

    CBenchFrame* frame = OpenBenchFrame();
    if (!frame)
        return 1;
    frame->m_Model.NewModel(1, JobSecondEdition);
    CIChRGroup* group = static_cast<CIChRGroup*>(frame->m_Model.CreateNode(NodeTypeGroup));
    group->SetName(L"Все файлы");
    group->m_Id = frame->m_Model.TakeNextId(NodeTypeGroup);
    frame->m_nCurrentCategory = -1;
    frame->SendMessage(WM_COMMAND, ID_CATEGORY_GROUPS, 0);
    frame->GetTree().SelectNode(group, TVI_ROOT);

    // The dialog as the user answers it: the files of the folder and its folders, marked by the
    // extensions.
    KvUi::CScriptedPresenter presenter;
    KvUi::IPresenter* old = KvUi::SetPresenter(&presenter);
    presenter.OnDialog(IDD_ADD_RESOURCES, [&](KvUi::CDialog& d) {
        dlgAddResources& dlg = static_cast<dlgAddResources&>(d);
        dlg.SelectKind(dlgAddResources::KindFolderFiles);
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_ALL_FILES, BST_CHECKED);
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_BY_FILTER, BST_UNCHECKED);
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_NESTED, BST_CHECKED);
        ::CheckDlgButton(d.m_hWnd, IDC_ADDRES_EXE_MARK, BST_CHECKED);
        presenter.QueueFolder(root);
        Click(d.m_hWnd, IDC_ADDRES_ADD);
        Click(d.m_hWnd, IDOK);
    });
    t = Now();
    frame->SendMessage(WM_COMMAND, ID_OBJ_SEVERAL, 0);
    KvUi::PumpWaitingMessages();
    const double bulk = Now() - t;
    KvUi::SetPresenter(old);
    size_t marked = 0;
    for (CIChNode* n : frame->m_Model.m_Resources)
        marked += static_cast<CIChResorce*>(n)->m_Executable != 0;

    printf("files: %d in %d folders (made in %.1f s)\n", count, kFolders, made);
    printf("creating the resources without a window: %.3f s\n", create);
    printf("reading the folder tree alone:           %.3f s, ratio %.2f\n", reading, reading / create);
    printf("bulk creation into a group (3040):       %.3f s, ratio %.2f\n", bulk, bulk / create);
    printf("resources in the model: %zu of %zu read, in the group: %zu, marked executable: %zu\n",
           frame->m_Model.m_Resources.size(), read, group->m_Members.size(), marked);
    CloseBenchFrame(frame);
    return 0;
}

// The layer's own texts, read from its string table: every id gives the text the layer's code
// showed when it still held it as a literal, character for character. Neither this program's
// script (testres.rc) nor the test DLL's names the layer's script: the build links it into every
// module that links the layer, and each module reads the texts from itself.
#include <gtest/gtest.h>

#include "kvtexts.h"

#include "kvui/ids.h"
#include "kvui/kvui.h"

#include <string>

using namespace KvUi;
using KvTest::Entry;

namespace {

const KvTest::StringText kLayerTexts[] = {
    Entry(KVUI_IDS_CANCEL, L"Отмена"),
    Entry(KVUI_IDS_ENTER_INTEGER, L"Введите целое число."),
    Entry(KVUI_IDS_ENTER_UNSIGNED, L"Введите положительное целое число."),
    Entry(KVUI_IDS_EDITLIST_NEW, L"Создать"),
    Entry(KVUI_IDS_EDITLIST_DELETE, L"Удалить"),
    Entry(KVUI_IDS_EDITLIST_UP, L"Вверх"),
    Entry(KVUI_IDS_EDITLIST_DOWN, L"Вниз"),
    Entry(KVUI_IDS_YES, L"Да"),
    Entry(KVUI_IDS_NO, L"Нет"),
    Entry(KVUI_IDS_UNKNOWN_ERROR, L"Произошла неизвестная ошибка!"),
};

TEST(LayerTexts, EveryIdLoadsTheTextTheLayerShowed) {
    KvTest::ExpectLibraryTexts(kLayerTexts, LayerText, 0xE020, 0xE02F);
    EXPECT_EQ(LayerText(KVUI_IDS_UNKNOWN_ERROR), UnknownErrorText());
}

// Each DLL holds the texts itself: the one that links the layer, and the one that reaches it only
// through another static library's PRIVATE link.
TEST(LayerTexts, EveryModuleThatLinksTheLayerHoldsThemItself) {
    for (const char* name : {"kvui_testmodule.dll", "kvui_textmodule.dll"}) {
        SCOPED_TRACE(name);
        HMODULE dll = ::LoadLibraryA(name);
        ASSERT_NE(nullptr, dll);
        typedef int (*ModuleText)(UINT, wchar_t*, int);
        auto moduleText =
            reinterpret_cast<ModuleText>(reinterpret_cast<void (*)()>(::GetProcAddress(dll, "KvUiModuleLayerText")));
        ASSERT_NE(nullptr, moduleText);
        // A module without the texts as the resource module: the layer still reads its own.
        HMODULE other = ::GetModuleHandleW(L"kernel32.dll");
        HINSTANCE oldResource = GetResourceHandle();
        SetResourceHandle(other);
        for (const KvTest::StringText& t : kLayerTexts) {
            std::wstring text(t.text, t.length);
            EXPECT_EQ(text, LoadStr(t.id, ::GetModuleHandleW(nullptr))) << "string id " << t.id;
            EXPECT_EQ(text, LoadStr(t.id, dll)) << "string id " << t.id;
            wchar_t buf[128] = {};
            EXPECT_EQ(int(t.length), moduleText(t.id, buf, 128)) << "string id " << t.id;
            EXPECT_EQ(text, buf) << "string id " << t.id;
            EXPECT_EQ(L"", LoadStr(t.id)) << "string id " << t.id; // the resource module has none
            EXPECT_EQ(text, LayerText(t.id)) << "string id " << t.id;
        }
        SetResourceHandle(oldResource);
        ::FreeLibrary(dll);
    }
}

} // namespace

// Exceptions at callbacks: the text of an exception (the program's translators first) and its
// report through the program's error dialog.
#include "kvui/core.h"
#include "kvui/presenter.h"

#include "kvui/ids.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace KvUi {

std::wstring UnknownErrorText() { return LayerText(KVUI_IDS_UNKNOWN_ERROR); }

namespace {
std::mutex g_errorLock;
std::vector<ExceptionTranslator>& Translators() {
    static std::vector<ExceptionTranslator> list;
    return list;
}
std::atomic<ErrorDialogHandler> g_errorDialog{nullptr};
std::atomic<bool> g_errorShown{false};

// Exception texts are UTF-8 where this system writes them; others are in the ANSI code page.
std::wstring NarrowText(const char* s) {
    if (!s || !*s)
        return std::wstring();
    for (UINT cp : {(UINT)CP_UTF8, (UINT)CP_ACP}) {
        int n = ::MultiByteToWideChar(cp, cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, s, -1, nullptr, 0);
        if (n > 0) {
            std::wstring w(n, L'\0');
            ::MultiByteToWideChar(cp, cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, s, -1, &w[0], n);
            w.resize(n - 1);
            return w;
        }
    }
    return std::wstring();
}
} // namespace

void AddExceptionTranslator(ExceptionTranslator translator) {
    std::lock_guard<std::mutex> g(g_errorLock);
    auto& list = Translators();
    if (std::find(list.begin(), list.end(), translator) == list.end())
        list.push_back(translator);
}

std::wstring CurrentExceptionText() {
    std::vector<ExceptionTranslator> list;
    {
        std::lock_guard<std::mutex> g(g_errorLock);
        list = Translators();
    }
    for (ExceptionTranslator t : list) {
        std::wstring text;
        try {
            if (t(text))
                return text;
        } catch (...) {
        }
    }
    try {
        throw;
    } catch (const std::exception& e) {
        std::wstring text = NarrowText(e.what());
        return text.empty() ? UnknownErrorText() : text;
    } catch (...) {
    }
    return UnknownErrorText();
}

ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler) { return g_errorDialog.exchange(handler); }

void ReportWindowException(const wchar_t* where) {
    std::wstring text = CurrentExceptionText();
    ::OutputDebugStringW((std::wstring(where ? where : L"") + L": " + text + L"\n").c_str());
    // One error dialog at a time: an error while one is shown (its own loop paints and runs
    // timers) is only written to the debug output.
    if (g_errorShown.exchange(true))
        return;
    try {
        if (ErrorDialogHandler h = g_errorDialog.load())
            h(text);
        else
            ShowMessage(nullptr, text, nullptr, MB_ICONERROR | MB_OK);
    } catch (...) {
        ::OutputDebugStringW(L"the error dialog failed\n");
    }
    g_errorShown = false;
}

} // namespace KvUi

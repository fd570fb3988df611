// The exception policy at callbacks: each kind of exception in a window's creation, its paint, a
// command, the translation of a message, the idle processing and a dialog's initialisation is
// shown once with its own text, and the program goes on.
#include <gtest/gtest.h>

#include "kvpresenter.h"
#include "kvui/kvui.h"

#include <stdexcept>
#include <string>
#include <vector>

using namespace KvUi;

namespace {

// An error type of the program's own, known through a translator.
struct CTestError {
    std::wstring text;
};

bool TranslateTestError(std::wstring& text) {
    try {
        throw;
    } catch (const CTestError& e) {
        text = L"Ошибка теста: " + e.text;
        return true;
    } catch (...) {
        return false;
    }
}

enum class Kind { Std, Own, Unknown };

[[noreturn]] void Raise(Kind k) {
    switch (k) {
    case Kind::Std:
        throw std::runtime_error(u8"Файл не найден");
    case Kind::Own:
        throw CTestError{L"нет доступа"};
    case Kind::Unknown:
        throw 42;
    }
    throw 0;
}

std::wstring TextOf(Kind k) {
    switch (k) {
    case Kind::Std:
        return L"Файл не найден";
    case Kind::Own:
        return L"Ошибка теста: нет доступа";
    default:
        return L"Произошла неизвестная ошибка!";
    }
}

enum class Place { Create, Paint, Command, Translate, Idle, DialogInit };

const UINT kProbeMsg = WM_APP + 1;

class CThrowWnd : public CWnd {
public:
    Place place;
    Kind kind;
    int paints = 0, probes = 0, commands = 0;
    CThrowWnd(Place p, Kind k) : place(p), kind(k) {}
    int OnCreate(LPCREATESTRUCTW) {
        if (place == Place::Create)
            Raise(kind);
        return 0;
    }
    void OnPaint() {
        ++paints;
        if (place == Place::Paint)
            Raise(kind);
        PAINTSTRUCT ps;
        ::BeginPaint(m_hWnd, &ps);
        ::EndPaint(m_hWnd, &ps);
    }
    void OnCommand100() {
        ++commands;
        if (place == Place::Command)
            Raise(kind);
    }
    LRESULT OnProbe(WPARAM, LPARAM) {
        ++probes;
        return 0;
    }
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (place == Place::Translate && pMsg->message == kProbeMsg)
            Raise(kind);
        return FALSE;
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CThrowWnd, CWnd)
ON_WM_CREATE()
ON_WM_PAINT()
ON_COMMAND(100, OnCommand100)
ON_MESSAGE(kProbeMsg, OnProbe)
KV_END_MESSAGE_MAP()

class CIdleApp : public CWinApp {
public:
    Kind kind = Kind::Std;
    int idles = 0;
    BOOL OnIdle(LONG) override {
        if (++idles == 1) {
            ::PostMessageW(nullptr, WM_NULL, 0, 0); // wakes the loop after the failed pass
            Raise(kind);
        }
        ::PostQuitMessage(5);
        return FALSE;
    }
};

class CThrowDialog : public CDialog {
public:
    Kind kind;
    explicit CThrowDialog(Kind k) : CDialog(100, (HWND) nullptr), kind(k) {}
    BOOL OnInitDialog() override { Raise(kind); }
};

void PumpFor(DWORD ms) {
    DWORD end = ::GetTickCount() + ms;
    while ((LONG)(end - ::GetTickCount()) > 0) {
        PumpWaitingMessages();
        ::Sleep(10);
    }
}

const int g_init = (::InitCommonControls(), AddExceptionTranslator(TranslateTestError), 0);

TEST(Errors, EachKindAtEachPlaceIsShownOnceWithItsTextAndTheProgramGoesOn) {
    const Place places[] = {Place::Create,    Place::Paint, Place::Command,
                            Place::Translate, Place::Idle,  Place::DialogInit};
    const Kind kinds[] = {Kind::Std, Kind::Own, Kind::Unknown};
    for (Place place : places) {
        for (Kind kind : kinds) {
            SCOPED_TRACE("place " + std::to_string((int)place) + " kind " + std::to_string((int)kind));
            KvTest::CScopedPresenter ps;
            CThrowWnd w(place, kind);
            if (place == Place::Idle) {
                CIdleApp app;
                app.kind = kind;
                EXPECT_EQ(5, app.Run());
                EXPECT_EQ(2, app.idles);
            } else if (place == Place::DialogInit) {
                CThrowDialog dlg(kind);
                EXPECT_EQ(-1, dlg.DoModal());
                EXPECT_EQ(nullptr, dlg.m_hWnd);
                EXPECT_TRUE(ps.Dialogs().empty()); // never shown half made
            } else {
                BOOL created = w.CreateEx(0, nullptr, L"errors", WS_OVERLAPPEDWINDOW, 0, 0, 200, 150, nullptr, nullptr);
                if (place == Place::Create) {
                    EXPECT_FALSE(created);
                    EXPECT_EQ(nullptr, w.m_hWnd);
                } else {
                    ASSERT_TRUE(created);
                    w.ShowWindow(SW_SHOW);
                    if (place == Place::Command)
                        w.SendMessage(WM_COMMAND, 100);
                    if (place == Place::Translate)
                        w.PostMessage(kProbeMsg);
                    PumpFor(300);
                    if (place == Place::Paint) {
                        EXPECT_EQ(1, w.paints); // validated: not repainted again and again
                    }
                    if (place == Place::Translate) {
                        EXPECT_EQ(1, w.probes); // the message still reached its window
                    }
                    // The window goes on working.
                    if (place != Place::Translate) {
                        w.PostMessage(kProbeMsg);
                        PumpFor(50);
                        EXPECT_EQ(1, w.probes);
                    }
                }
            }
            auto boxes = ps.Boxes();
            ASSERT_EQ(1u, boxes.size());
            EXPECT_EQ(TextOf(kind), boxes[0].text);
            EXPECT_TRUE(boxes[0].type & MB_ICONERROR);
            if (w.m_hWnd)
                w.DestroyWindow();
        }
    }
}

// While the error dialog is up, another error is not shown on top of it.
std::vector<std::wstring> g_shown;
CThrowWnd* g_other = nullptr;
void NestingErrorDialog(const std::wstring& text) {
    g_shown.push_back(text);
    if (g_other)
        g_other->SendMessage(WM_COMMAND, 100); // fails while this "dialog" is shown
}

TEST(Errors, OneErrorDialogAtATime) {
    g_shown.clear();
    CThrowWnd a(Place::Command, Kind::Std), b(Place::Command, Kind::Own);
    ASSERT_TRUE(a.CreateEx(0, nullptr, L"a", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr));
    ASSERT_TRUE(b.CreateEx(0, nullptr, L"b", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr));
    g_other = &b;
    ErrorDialogHandler old = SetErrorDialogHandler(NestingErrorDialog);
    a.SendMessage(WM_COMMAND, 100);
    EXPECT_EQ(std::vector<std::wstring>{L"Файл не найден"}, g_shown);
    EXPECT_EQ(1, b.commands);
    // Once it is closed, the next error is shown again.
    g_other = nullptr;
    b.SendMessage(WM_COMMAND, 100);
    EXPECT_EQ((std::vector<std::wstring>{L"Файл не найден", L"Ошибка теста: нет доступа"}), g_shown);
    SetErrorDialogHandler(old);
    a.DestroyWindow();
    b.DestroyWindow();
}

} // namespace

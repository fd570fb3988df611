// The settings of the application object: one table names each member with its type, default and
// profile value; loading, saving, resetting and the settings dialog all go through it.
#include "DaVIdevaRez.h"
#include "ExeExtensions.h"

#include <ViewHost.h>

#include <cwchar>

namespace {
typedef CDaVIdevaRezApp App;

constexpr AppSetting IntSetting(const wchar_t* name, int App::*member, int def, bool stored = true) {
    return {name, AppSetting::Int, member, nullptr, nullptr, (DWORD)def, 0, nullptr, stored};
}
// A colour of the lists: its default is the views' colour of its class.
constexpr AppSetting ColorSetting(const wchar_t* name, COLORREF App::*member, int listColor) {
    return {name, AppSetting::Color, nullptr, member, nullptr, 0, listColor, nullptr, true};
}

// The profile's order: Confirmation, the eight list colours, then the rest with ExeExtensions
// between ClearExeDep and AddDepends. IsAutoNatify is not kept.
constexpr AppSetting kSettings[] = {
    IntSetting(L"Confirmation", &App::m_nConfirmation, 6),
    ColorSetting(L"ColorFace", &App::m_clrFace, 1),
    ColorSetting(L"ColorBkg", &App::m_clrBkg, 2),
    ColorSetting(L"ColorUniqFace", &App::m_clrUniqFace, 3),
    ColorSetting(L"ColorUniqBkg", &App::m_clrUniqBkg, 4),
    ColorSetting(L"ColorAltFace", &App::m_clrAltFace, 5),
    ColorSetting(L"ColorAltBkg", &App::m_clrAltBkg, 6),
    ColorSetting(L"ColorNonExistentFace", &App::m_clrNonExistentFace, 7),
    ColorSetting(L"ColorNonExistentBkg", &App::m_clrNonExistentBkg, 8),
    IntSetting(L"Grid", &App::m_bGrid, 1),
    IntSetting(L"DepDlg", &App::m_nDepDlg, 1),
    IntSetting(L"ClearExeDep", &App::m_nClearExeDep, 1),
    {L"ExeExtensions", AppSetting::Text, nullptr, nullptr, &App::m_strExeExtensions, 0, 0, KV_DEFAULT_EXE_EXTENSIONS,
     true},
    IntSetting(L"AddDepends", &App::m_bAddDepends, 1),
    IntSetting(L"PrecalcDlg", &App::m_nPrecalcDlg, 1),
    IntSetting(L"CENotSupport", &App::m_nCENotSupport, 0),
    IntSetting(L"CEBlocked", &App::m_nCEBlocked, 3),
    IntSetting(L"CENotFound", &App::m_nCENotFound, 2),
    IntSetting(L"CEDouble", &App::m_nCEDouble, 0),
    IntSetting(L"UpdatePresent", &App::m_bUpdatePresent, 1),
    IntSetting(L"ExeByExten", &App::m_bExeByExten, 1),
    IntSetting(L"IsAutoNatify", &App::m_bIsAutoNatify, 1, false),
};
} // namespace

AppSettingsRange AppSettingsTable() { return {std::begin(kSettings), std::end(kSettings)}; }

const AppSetting* FindAppSetting(const wchar_t* name) {
    for (const AppSetting& s : kSettings)
        if (name && std::wcscmp(s.name, name) == 0)
            return &s;
    return nullptr;
}

DWORD AppSetting::Get(const CDaVIdevaRezApp& app) const {
    switch (type) {
    case Int:
        return (DWORD)(app.*intMember);
    case Color:
        return app.*colorMember;
    default:
        return 0;
    }
}

void AppSetting::Set(CDaVIdevaRezApp& app, DWORD value) const {
    if (type == Int)
        app.*intMember = (int)value;
    else if (type == Color)
        app.*colorMember = (COLORREF)value;
}

DWORD AppSetting::Default() const { return type == Color ? DefaultListColor(listColor) : defaultValue; }

void AppSetting::Reset(CDaVIdevaRezApp& app) const {
    if (type == Text)
        app.*textMember = defaultText;
    else
        Set(app, Default());
}

COLORREF CDaVIdevaRezApp::DefaultColor(int index) {
    int i = 0;
    for (const AppSetting& s : kSettings)
        if (s.type == AppSetting::Color && i++ == index)
            return s.Default();
    return 0;
}

COLORREF CDaVIdevaRezApp::GetListColor(int index) const {
    for (const AppSetting& s : kSettings)
        if (s.type == AppSetting::Color && s.listColor == index)
            return s.Get(*this);
    return 0;
}

void CDaVIdevaRezApp::ResetSettings() {
    for (const AppSetting& s : kSettings)
        s.Reset(*this);
}

int CDaVIdevaRezApp::LoadSettings() {
    for (const AppSetting& s : kSettings) {
        if (!s.stored)
            continue;
        if (s.type == AppSetting::Text)
            this->*s.textMember = GetProfileString(L"", s.name, s.defaultText);
        else
            s.Set(*this, GetProfileInt(L"", s.name, (int)s.Default()));
    }
    return 1;
}

int CDaVIdevaRezApp::SaveSettings() {
    for (const AppSetting& s : kSettings) {
        if (!s.stored)
            continue;
        BOOL ok = s.type == AppSetting::Text ? WriteProfileString(L"", s.name, (this->*s.textMember).c_str())
                                             : WriteProfileInt(L"", s.name, (int)s.Get(*this));
        if (!ok)
            return 0;
    }
    return 1;
}

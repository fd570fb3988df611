// The settings of the application object: read from the profile at start-up, written at exit.
#include "DaVIdevaRez.h"

namespace {
// The integer settings in their order; ExeExtensions stands between ClearExeDep and AddDepends.
struct IntSetting {
    const wchar_t* name;
    int CDaVIdevaRezApp::*member;
};
struct ColorSetting {
    const wchar_t* name;
    COLORREF CDaVIdevaRezApp::*member;
};

const ColorSetting kColors[] = {
    {L"ColorFace", &CDaVIdevaRezApp::m_clrFace},
    {L"ColorBkg", &CDaVIdevaRezApp::m_clrBkg},
    {L"ColorUniqFace", &CDaVIdevaRezApp::m_clrUniqFace},
    {L"ColorUniqBkg", &CDaVIdevaRezApp::m_clrUniqBkg},
    {L"ColorAltFace", &CDaVIdevaRezApp::m_clrAltFace},
    {L"ColorAltBkg", &CDaVIdevaRezApp::m_clrAltBkg},
    {L"ColorNonExistentFace", &CDaVIdevaRezApp::m_clrNonExistentFace},
    {L"ColorNonExistentBkg", &CDaVIdevaRezApp::m_clrNonExistentBkg},
};
const IntSetting kBefore[] = {
    {L"Grid", &CDaVIdevaRezApp::m_bGrid},
    {L"DepDlg", &CDaVIdevaRezApp::m_nDepDlg},
    {L"ClearExeDep", &CDaVIdevaRezApp::m_nClearExeDep},
};
const IntSetting kAfter[] = {
    {L"AddDepends", &CDaVIdevaRezApp::m_bAddDepends},
    {L"PrecalcDlg", &CDaVIdevaRezApp::m_nPrecalcDlg},
    {L"CENotSupport", &CDaVIdevaRezApp::m_nCENotSupport},
    {L"CEBlocked", &CDaVIdevaRezApp::m_nCEBlocked},
    {L"CENotFound", &CDaVIdevaRezApp::m_nCENotFound},
    {L"CEDouble", &CDaVIdevaRezApp::m_nCEDouble},
    {L"UpdatePresent", &CDaVIdevaRezApp::m_bUpdatePresent},
    {L"ExeByExten", &CDaVIdevaRezApp::m_bExeByExten},
};
} // namespace

COLORREF CDaVIdevaRezApp::DefaultColor(int index) {
    switch (index) {
    case 0: return ::GetSysColor(COLOR_WINDOWTEXT);
    case 1: return ::GetSysColor(COLOR_WINDOW);
    case 2: return 0x000040;
    case 3: return 0xE6E6FF;
    case 4: return 0x404040;
    case 5: return 0xC0C0C0;
    case 6: return 0x200000;
    case 7: return 0xF0CAA6;
    default: return 0;
    }
}

int CDaVIdevaRezApp::LoadSettings() {
    // The current values (the defaults until now) stand in for missing profile values.
    m_nConfirmation = (int)GetProfileInt(L"", L"Confirmation", m_nConfirmation);
    for (const auto& c : kColors)
        this->*c.member = (COLORREF)GetProfileInt(L"", c.name, (int)(this->*c.member));
    for (const auto& s : kBefore)
        this->*s.member = (int)GetProfileInt(L"", s.name, this->*s.member);
    m_strExeExtensions = GetProfileString(L"", L"ExeExtensions", m_strExeExtensions.c_str());
    for (const auto& s : kAfter)
        this->*s.member = (int)GetProfileInt(L"", s.name, this->*s.member);
    return 1;
}

int CDaVIdevaRezApp::SaveSettings() {
    if (!WriteProfileInt(L"", L"Confirmation", m_nConfirmation))
        return 0;
    for (const auto& c : kColors)
        if (!WriteProfileInt(L"", c.name, (int)(this->*c.member)))
            return 0;
    for (const auto& s : kBefore)
        if (!WriteProfileInt(L"", s.name, this->*s.member))
            return 0;
    if (!WriteProfileString(L"", L"ExeExtensions", m_strExeExtensions.c_str()))
        return 0;
    for (const auto& s : kAfter)
        if (!WriteProfileInt(L"", s.name, this->*s.member))
            return 0;
    return 1;
}

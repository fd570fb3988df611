// The board's and the host suite's libraries that the program loads by name: the board interface
// "VrnApi64.dll", the board BIOS version "kvellock64.dll" and the host suite's hardware interface
// "kvhwapi.dll". The program runs without them, as on a computer without the board. The
// interface layouts below are the places of the operations the program calls.
#pragma once

#include <windows.h>

#include <string>

// Board interface returned by VrnGetInterface(0, 0).
struct IVrnBoard {
    virtual HRESULT __stdcall GetApiVersion(DWORD* version) = 0; // 0
    virtual HRESULT __stdcall GetBoardState(DWORD* state) = 0;   // 1
    virtual HRESULT __stdcall IsBoardPresent(BYTE* present) = 0; // 2
};
typedef IVrnBoard*(__stdcall* PFN_VrnGetInterface)(DWORD, DWORD);

// The host suite's hardware interface and its joint-mode sub-interface.
struct IKvHwJointMode {
    virtual int __stdcall IsJointMode(DWORD* flag) = 0; // 0
    virtual void __stdcall Reserved1() = 0;
    virtual void __stdcall Reserved2() = 0;
    virtual void __stdcall Reserved3() = 0;
    virtual void __stdcall Reserved4() = 0;
    virtual void __stdcall Reserved5() = 0;
    virtual void __stdcall Reserved6() = 0;
    virtual void __stdcall Reserved7() = 0;
    virtual void __stdcall Reserved8() = 0;
    virtual void __stdcall Reserved9() = 0;
    virtual void __stdcall Reserved10() = 0;
    virtual void __stdcall Reserved11() = 0;
    virtual void __stdcall Reserved12() = 0;
    virtual void __stdcall Reserved13() = 0;
    virtual void __stdcall Reserved14() = 0;
    virtual void __stdcall Release() = 0; // 15
};
struct IKvHwApi {
    virtual void __stdcall Reserved0() = 0;
    virtual void __stdcall Reserved1() = 0;
    virtual void __stdcall Reserved2() = 0;
    virtual void __stdcall Reserved3() = 0;
    virtual void __stdcall Reserved4() = 0;
    virtual void __stdcall Reserved5() = 0;
    virtual void __stdcall Reserved6() = 0;
    virtual void __stdcall Reserved7() = 0;
    virtual void __stdcall Reserved8() = 0;
    virtual void __stdcall Reserved9() = 0;
    virtual void __stdcall Reserved10() = 0;
    virtual void __stdcall Reserved11() = 0;
    virtual void __stdcall Reserved12() = 0;
    virtual IKvHwJointMode* __stdcall GetJointMode() = 0; // 13
};
// An object that the host suite hands to the program's callback; its operation 4 is called.
struct IKvHwNotify {
    virtual void __stdcall Reserved0() = 0;
    virtual void __stdcall Reserved1() = 0;
    virtual void __stdcall Reserved2() = 0;
    virtual void __stdcall Reserved3() = 0;
    virtual void __stdcall Notify() = 0; // 4
};
typedef int(__stdcall* PFN_KvHwCallback)(void* object, void* context);
typedef IKvHwApi*(__stdcall* PFN_KvHwGetInterface)(PFN_KvHwCallback callback);
typedef void(__stdcall* PFN_KvHwReleaseInterface)(IKvHwApi* api);

// kvellock64.dll: fills the 4-byte version block (major, minor, 16-bit build); 0 on success.
typedef int(__stdcall* PFN_vrGetVersion)(BYTE* block);

// The board interface library, loaded when the application object is constructed.
class CBoardApiLibrary {
public:
    HMODULE m_hModule = nullptr;
    PFN_VrnGetInterface m_pfnGetInterface = nullptr;
    IVrnBoard* m_pInterface = nullptr;

    void Load(const wchar_t* name = L"VrnApi64.dll");
    void Free();
    // Takes the board interface: false without the library, its entry or an interface.
    bool GetInterface();
    // The board answers that it is present.
    bool IsBoardPresent();
};

// The callback handed to KvHwGetInterface: calls operation 4 of the object it gets.
int __stdcall HwInterfaceCallback(void* object, void* context);

// The host suite works jointly with the board (1) or not, or is not installed (0).
int QueryJointMode(const wchar_t* library = L"kvhwapi.dll");

// The board BIOS version text "%d.%d.%d" from kvellock64.dll; false when the library, its entry
// or the call fails.
bool QueryBoardBiosVersion(std::wstring& version, const wchar_t* library = L"kvellock64.dll");

// Test double of the host suite's hardware interface. KV_DOUBLE_JOINT: "off" (default), "flag"
// (joint mode through the flag), "result" (through the result), "nointerface", "throw".
#include "BoardLibraries.h"
#include "DoubleLog.h"

#include <stdexcept>

namespace {
class CJoint : public IKvHwJointMode {
public:
    int __stdcall IsJointMode(DWORD* flag) override {
        DoubleLog("kvhwapi.IsJointMode");
        std::wstring mode = DoubleSetting(L"KV_DOUBLE_JOINT");
        if (mode == L"throw")
            throw std::runtime_error("host suite failure");
        if (mode == L"flag")
            *flag = 1;
        return mode == L"result" ? 1 : 0;
    }
    void __stdcall Reserved1() override {}
    void __stdcall Reserved2() override {}
    void __stdcall Reserved3() override {}
    void __stdcall Reserved4() override {}
    void __stdcall Reserved5() override {}
    void __stdcall Reserved6() override {}
    void __stdcall Reserved7() override {}
    void __stdcall Reserved8() override {}
    void __stdcall Reserved9() override {}
    void __stdcall Reserved10() override {}
    void __stdcall Reserved11() override {}
    void __stdcall Reserved12() override {}
    void __stdcall Reserved13() override {}
    void __stdcall Reserved14() override {}
    void __stdcall Release() override { DoubleLog("kvhwapi.JointRelease"); }
};
class CApi : public IKvHwApi {
public:
    void __stdcall Reserved0() override {}
    void __stdcall Reserved1() override {}
    void __stdcall Reserved2() override {}
    void __stdcall Reserved3() override {}
    void __stdcall Reserved4() override {}
    void __stdcall Reserved5() override {}
    void __stdcall Reserved6() override {}
    void __stdcall Reserved7() override {}
    void __stdcall Reserved8() override {}
    void __stdcall Reserved9() override {}
    void __stdcall Reserved10() override {}
    void __stdcall Reserved11() override {}
    void __stdcall Reserved12() override {}
    IKvHwJointMode* __stdcall GetJointMode() override {
        DoubleLog("kvhwapi.GetJointMode");
        return &m_joint;
    }
    CJoint m_joint;
};
class CNotify : public IKvHwNotify {
public:
    void __stdcall Reserved0() override {}
    void __stdcall Reserved1() override {}
    void __stdcall Reserved2() override {}
    void __stdcall Reserved3() override {}
    void __stdcall Notify() override { DoubleLog("kvhwapi.Notify"); }
};
CApi g_api;
CNotify g_notify;
} // namespace

extern "C" __declspec(dllexport) IKvHwApi* __stdcall KvHwGetInterface(PFN_KvHwCallback callback) {
    DoubleLog("kvhwapi.KvHwGetInterface");
    // The suite calls the program back with its notification object, and once with none.
    if (callback) {
        callback(&g_notify, nullptr);
        callback(nullptr, nullptr);
    }
    if (DoubleSetting(L"KV_DOUBLE_JOINT") == L"nointerface")
        return nullptr;
    return &g_api;
}

extern "C" __declspec(dllexport) void __stdcall KvHwReleaseInterface(IKvHwApi*) {
    DoubleLog("kvhwapi.KvHwReleaseInterface");
}

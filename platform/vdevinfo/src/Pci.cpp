// The PCI branch: the devices of the PCI bus through SetupAPI, or of a test's list.
#include "Internal.h"

#include <setupapi.h>

#include <KvText.h>
#include <cwctype>

namespace VDeviceInfo {
namespace {

using namespace Detail;

class CEquipment : public Counted<IEquipment> {
public:
    CEquipment(const PciDeviceInfo& d, int image) : m_name(d.name), m_group(d.group), m_image(image) {
        auto add = [this](const wchar_t* name, const _value_t& v) { m_properties.push_back(MakeProperty(name, v)); };
        add(L"Bus Number", _value_t((unsigned long)d.bus));
        add(L"Device Number", _value_t((unsigned long)d.device));
        add(L"Function Number", _value_t((unsigned long)d.function));
        add(L"Address",
            _value_t((unsigned long)(((d.bus & 0xFFFF) << 16) | ((d.device & 0xFF) << 8) | (d.function & 0xFF))));
        add(L"Vendor ID", _value_t((unsigned long)d.vendorId));
        add(L"Device ID", _value_t((unsigned long)d.deviceId));
        add(L"Subsystem ID", _value_t((unsigned long)d.subsystemId));
        add(L"Revision ID", _value_t((unsigned long)d.revisionId));
        add(L"Class Code", _value_t((unsigned long)d.classCode));
        add(L"Class GUID", _value_t(GuidText(d.classGuid)));
        add(L"Hardware ID", _value_t(d.hardwareId));
        if (m_name.empty())
            m_name = Format(L"PCI %04X:%04X", (unsigned)d.vendorId, (unsigned)d.deviceId);
    }
    int GetImage() override { return m_image; }
    std::wstring GetName() override { return m_name; }
    std::wstring GetGroup() override { return m_group; }
    void GetProperties(PropertyList& properties, IFilter* filter) override {
        CopyProperties(m_properties, properties, filter);
    }
    const PropertyList& Properties() const { return m_properties; }

private:
    std::wstring m_name, m_group;
    int m_image;
    PropertyList m_properties;
};

class CPCIEquipment : public Counted<IPCIEquipment> {
public:
    CPCIEquipment() {
        SmartPtr<IDeviceImageList> images = Common::GetDeviceImageList();
        for (const PciDeviceInfo& d : PciSource()->ListDevices())
            m_devices.push_back(SmartPtr<CEquipment>(new CEquipment(d, images->GetClassImage(d.classGuid))));
    }
    int GetImage() override { return ImagePciBus; }
    std::wstring GetName() override { return L"PCI"; }
    void GetDevices(std::list<SmartPtr<IEquipment>>& devices, IFilter* filter) override {
        for (auto& d : m_devices)
            if (Accepts(filter, d->Properties()))
                devices.push_back(SmartPtr<IEquipment>(d.Get()));
    }

private:
    std::vector<SmartPtr<CEquipment>> m_devices;
};

std::wstring RegistryText(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property) {
    std::vector<BYTE> buffer(1024);
    DWORD type = 0, needed = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &data, property, &type, buffer.data(), (DWORD)buffer.size(),
                                             &needed)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed > 65536)
            return std::wstring();
        buffer.resize(needed + 2);
        if (!::SetupDiGetDeviceRegistryPropertyW(set, &data, property, &type, buffer.data(), (DWORD)buffer.size(),
                                                 &needed))
            return std::wstring();
    }
    buffer.resize(buffer.size() + 2, 0);
    // A multi-string gives its first string.
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data()));
}

std::vector<std::wstring> RegistryTexts(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property) {
    std::vector<std::wstring> texts;
    std::vector<BYTE> buffer(4096);
    DWORD type = 0, needed = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &data, property, &type, buffer.data(), (DWORD)buffer.size() - 4,
                                             &needed))
        return texts;
    buffer.resize(needed + 4, 0);
    const wchar_t* p = reinterpret_cast<const wchar_t*>(buffer.data());
    const wchar_t* end = p + needed / sizeof(wchar_t);
    while (p < end && *p) {
        texts.emplace_back(p);
        p += texts.back().size() + 1;
    }
    return texts;
}

DWORD DeviceDword(HDEVINFO set, SP_DEVINFO_DATA& data, DWORD property, bool& ok) {
    DWORD value = 0, type = 0;
    ok = ::SetupDiGetDeviceRegistryPropertyW(set, &data, property, &type, reinterpret_cast<BYTE*>(&value),
                                             sizeof(value), nullptr) != FALSE;
    return value;
}

// The hexadecimal number after "TAG_" in a PCI identifier ("VEN_", "DEV_", "SUBSYS_", "REV_", "CC_"),
// taken from the first identifier that has it with the given number of digits.
void IdPart(const std::wstring& id, const wchar_t* tag, size_t digits, DWORD& value, bool& found) {
    if (found)
        return;
    std::wstring upper = KvBase::UpperCaseCrt(id);
    size_t at = upper.find(tag);
    if (at == std::wstring::npos)
        return;
    at += wcslen(tag);
    size_t end = at;
    while (end < upper.size() && iswxdigit(upper[end]))
        ++end;
    if (end - at != digits)
        return;
    value = wcstoul(upper.substr(at, end - at).c_str(), nullptr, 16);
    found = true;
}

} // namespace

namespace Common {

SmartPtr<IPCIEquipment> GetPCI() { return SmartPtr<IPCIEquipment>(new CPCIEquipment); }

std::vector<PciDeviceInfo> ReadSystemPciDevices() {
    std::vector<PciDeviceInfo> devices;
    HDEVINFO set = ::SetupDiGetClassDevsW(nullptr, L"PCI", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return devices;
    for (DWORD i = 0; i < 4096; ++i) {
        SP_DEVINFO_DATA data = {};
        data.cbSize = sizeof(data);
        if (!::SetupDiEnumDeviceInfo(set, i, &data))
            break;
        PciDeviceInfo d;
        d.classGuid = data.ClassGuid;
        d.name = RegistryText(set, data, SPDRP_FRIENDLYNAME);
        if (d.name.empty())
            d.name = RegistryText(set, data, SPDRP_DEVICEDESC);
        wchar_t group[256] = L"";
        if (::SetupDiGetClassDescriptionW(&data.ClassGuid, group, 256, nullptr))
            d.group = group;
        std::vector<std::wstring> ids = RegistryTexts(set, data, SPDRP_HARDWAREID);
        if (!ids.empty())
            d.hardwareId = ids.front();
        for (const std::wstring& id : RegistryTexts(set, data, SPDRP_COMPATIBLEIDS))
            ids.push_back(id);
        bool found[5] = {};
        for (const std::wstring& id : ids) {
            IdPart(id, L"VEN_", 4, d.vendorId, found[0]);
            IdPart(id, L"DEV_", 4, d.deviceId, found[1]);
            IdPart(id, L"SUBSYS_", 8, d.subsystemId, found[2]);
            IdPart(id, L"REV_", 2, d.revisionId, found[3]);
            IdPart(id, L"CC_", 6, d.classCode, found[4]);
        }
        bool ok = false;
        d.bus = DeviceDword(set, data, SPDRP_BUSNUMBER, ok);
        DWORD address = DeviceDword(set, data, SPDRP_ADDRESS, ok);
        if (ok) { // PCI: device number in the high word, function in the low word
            d.device = address >> 16;
            d.function = address & 0xFFFF;
        }
        devices.push_back(d);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return devices;
}

} // namespace Common
} // namespace VDeviceInfo

// Shared pieces of the inventory's objects: the reference count, property lists and sources.
#pragma once

#include "VDevInfo.h"

#include <mutex>

namespace VDeviceInfo {
namespace Detail {

// An object of the inventory: goes when its last reference does.
template <class Base>
class Counted : public Base {
public:
    long AddRef() override { return ++m_refs; }
    long Release() override {
        long n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }

private:
    std::atomic<long> m_refs{0};
};

using PropertyList = std::list<SmartPtr<IProperty>>;

SmartPtr<IProperty> MakeProperty(const std::wstring& name, const _value_t& value);
// Appends the properties that the filter keeps (all without a filter).
void CopyProperties(const PropertyList& from, PropertyList& to, IFilter* filter);
// The value of the named property; empty when there is none.
_value_t FindProperty(const PropertyList& properties, const wchar_t* name);
bool Accepts(IFilter* filter, const PropertyList& properties);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::wstring GuidText(const GUID& guid);
std::wstring Format(const wchar_t* format, ...);

// The sources in force: a test's or the system's.
IPciSource* PciSource();
ISmbiosSource* SmbiosSource();
IDriveSource* DriveSource();

} // namespace Detail
} // namespace VDeviceInfo

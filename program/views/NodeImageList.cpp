#include "NodeImageList.h"

#include "IChFolder.h"
#include "resource.h"

#include <objbase.h>

CNodeImageList::CNodeImageList() {
    m_hImageList = m_devices.GetImageList();
    m_nBase = m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0;
    if (!m_hImageList)
        return;
    // A bitmap that cannot be loaded leaves the device-class images alone.
    if (HBITMAP bmp = (HBITMAP)::LoadImageW(KvUi::GetResourceHandle(), MAKEINTRESOURCEW(IDB_NODE_ICONS), IMAGE_BITMAP,
                                            0, 0, LR_CREATEDIBSECTION)) {
        ImageList_AddMasked(m_hImageList, bmp, RGB(255, 0, 255));
        ::DeleteObject(bmp);
    }
}

int CNodeImageList::GetDeviceClassImage(const std::wstring& classGuid) {
    if (classGuid.empty())
        return -1;
    GUID guid = {};
    if (FAILED(::CLSIDFromString(const_cast<wchar_t*>(classGuid.c_str()), &guid)))
        guid = GUID();
    return m_devices.GetClassImage(guid);
}

int CNodeImageList::GetSmbiosTableImage(int tableType) { return m_devices.GetSmbiosTableImage(tableType); }

int CNodeImageList::GetNodeImage(const CIChNode* node) {
    if (!node)
        return m_nBase;
    if (node->GetType() == NodeTypeResource) {
        const CIChResorce* r = static_cast<const CIChResorce*>(node);
        if (!r->m_Executable && r->m_SubType == ResPciDevice) {
            _value_t v = r->GetParam(L"Class GUID");
            if (v.vtype() == _value_t::vt_string || v.vtype() == _value_t::vt_wstring)
                return GetDeviceClassImage(v.as_wstring());
            return m_nBase + 9;
        }
        if (!r->m_Executable && (r->m_SubType == ResSmbiosTable || r->m_SubType == ResSmbiosField)) {
            _value_t v = r->GetParam(L"Table Type");
            switch (v.vtype()) {
            case _value_t::vt_int:
            case _value_t::vt_long:
            case _value_t::vt_ulong:
                return GetSmbiosTableImage(v.as_int());
            default:
                return m_nBase + 9;
            }
        }
    }
    return m_nBase + GetNodeIconNumber(node);
}

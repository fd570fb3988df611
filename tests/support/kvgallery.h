// Pictures of windows for the gallery (build/gallery/): a window as it is on the screen, frame
// included, saved as a PNG file through the imaging component.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include "kvclick.h"

#include <string>

namespace KvGallery {

// Writes 32-bit BGR pixels (top-down rows) as a PNG file through the imaging component.
inline HRESULT WritePng(const std::wstring& path, const BYTE* pixels, UINT cx, UINT cy) {
    IWICImagingFactory* factory = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(&factory));
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->SetSize(cx, cy);
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat32bppBGR)
        hr = E_FAIL;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(cy, cx * 4, cx * cy * 4, const_cast<BYTE*>(pixels));
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    if (frame)
        frame->Release();
    if (encoder)
        encoder->Release();
    if (stream)
        stream->Release();
    if (factory)
        factory->Release();
    return hr;
}

// The window as it is on the screen, frame included.
inline HRESULT SaveWindow(HWND h, const std::wstring& path) {
    RECT rc;
    ::GetWindowRect(h, &rc);
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0)
        return E_INVALIDARG;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(nullptr);
    HBITMAP dib = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(mem, dib);
    ::BitBlt(mem, 0, 0, cx, cy, screen, rc.left, rc.top, SRCCOPY);
    ::GdiFlush();
    HRESULT hr = WritePng(path, static_cast<const BYTE*>(bits), cx, cy);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::DeleteObject(dib);
    ::ReleaseDC(nullptr, screen);
    return hr;
}

using KvTest::PumpFor;

// A top-level window brought to the top at (20, 20), painted, and saved as a PNG file.
inline HRESULT ShootTop(HWND top, const std::wstring& png) {
    ::SetWindowPos(top, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::SetForegroundWindow(top);
    ::RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    PumpFor(300);
    ::DeleteFileW(png.c_str());
    HRESULT hr = SaveWindow(top, png);
    ::SetWindowPos(top, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return hr;
}

// The gallery folder (KV_GALLERY_DIR), empty when the test was not given one.
inline std::wstring Folder() {
    wchar_t buf[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(L"KV_GALLERY_DIR", buf, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? buf : L"";
}

} // namespace KvGallery

#include "tools/page/png_file_win.h"

#include <windows.h>
#include <wincodec.h>

namespace parvex::page {

namespace {

// Releases a COM pointer at the end of its scope.
template <class T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

// COM for this thread while the file is written; a thread that has it
// already keeps it as it was.
struct ComForThisThread {
    HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~ComForThisThread() {
        if (SUCCEEDED(started)) CoUninitialize();
    }
};

HRESULT Encode(const BgrImage& image, const std::wstring& path) {
    Held<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&factory));
    Held<IWICStream> stream;
    if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    Held<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.p, WICBitmapEncoderNoCache);
    Held<IWICBitmapFrameEncode> frame;
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height));
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    // The encoder may only offer another format; these pixels are 24-bit BGR.
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR) hr = E_FAIL;
    UINT stride = static_cast<UINT>(image.width) * 3;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(static_cast<UINT>(image.height), stride, static_cast<UINT>(image.bgr.size()),
                                const_cast<BYTE*>(image.bgr.data()));
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    return hr;
}

}  // namespace

bool WritePngFile(const BgrImage& image, const std::wstring& path) {
    if (image.width <= 0 || image.height <= 0 ||
        image.bgr.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        return false;
    ComForThisThread com;
    if (SUCCEEDED(Encode(image, path))) return true;
    DeleteFileW(path.c_str());
    return false;
}

}  // namespace parvex::page

// Tovinel brand, the system seam on Windows: PNG files decoded by the Windows Imaging Component (its
// PNG decoder, a converter to BGRA), which every Windows from Vista on has: only system DLLs load.
#include <windows.h>
#include <wincodec.h>

#include <cstdio>

#include "system/system.h"

namespace {

// Releases a COM interface when it goes out of scope.
template <typename Interface>
struct com_ptr {
    Interface* pointer = nullptr;
    ~com_ptr()
    {
        if (pointer)
            pointer->Release();
    }
    Interface* operator->() const { return pointer; }
    Interface** out() { return &pointer; }
};

bool failed(HRESULT result, const char* step, std::string* why)
{
    if (SUCCEEDED(result))
        return false;
    char text[96];
    snprintf(text, sizeof text, "Windows' PNG decoder (WIC) failed to %s (error 0x%08lX)", step,
             static_cast<unsigned long>(result));
    *why = text;
    return true;
}

bool decode(const std::string& bytes, rgba_image* image, std::string* why)
{
    com_ptr<IWICImagingFactory> factory;
    com_ptr<IWICStream> stream;
    com_ptr<IWICBitmapDecoder> decoder;
    com_ptr<IWICBitmapFrameDecode> frame;
    com_ptr<IWICFormatConverter> converter;
    // InitializeFromMemory takes a pointer to writable bytes; it only reads them.
    std::string copy = bytes;
    UINT width = 0, height = 0;
    if (failed(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.out())), "start", why) ||
        failed(factory->CreateStream(stream.out()), "open the file", why) ||
        failed(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(&copy[0]), static_cast<DWORD>(copy.size())),
               "open the file", why) ||
        failed(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.out()), "start", why) ||
        failed(decoder->Initialize(stream.pointer, WICDecodeMetadataCacheOnDemand), "read the header", why) ||
        failed(decoder->GetFrame(0, frame.out()), "read the image", why) ||
        failed(frame->GetSize(&width, &height), "read the image's size", why) ||
        failed(factory->CreateFormatConverter(converter.out()), "start", why) ||
        failed(converter->Initialize(frame.pointer, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom), "convert the image to RGBA", why))
        return false;
    if (width == 0 || height == 0 || width > 8192 || height > 8192) {
        *why = "Windows' PNG decoder (WIC) reads another size than the header's";
        return false;
    }
    image->width = width;
    image->height = height;
    image->pixels.assign(size_t(width) * height * 4, 0);
    if (failed(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(image->pixels.size()), image->pixels.data()),
               "read the pixels", why))
        return false;
    for (size_t at = 0; at < image->pixels.size(); at += 4)
        std::swap(image->pixels[at], image->pixels[at + 2]);  // BGRA to RGBA
    return true;
}

}  // namespace

bool system_decode_png(const std::string& bytes, rgba_image* image, std::string* why)
{
    HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool decoded = decode(bytes, image, why);
    if (SUCCEEDED(started))
        CoUninitialize();
    return decoded;
}

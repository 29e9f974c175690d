#include "platform/win32/wgl_support.h"

#include "platform/win32/wide_text.h"

#include <cstdint>

namespace platform::win32 {

void* WglProcAddress(const char* name) {
    const PROC proc = wglGetProcAddress(name);
    const auto value = reinterpret_cast<std::intptr_t>(proc);
    if (proc && value != 1 && value != 2 && value != 3 && value != -1) return reinterpret_cast<void*>(proc);
    static const HMODULE library = LoadLibraryW(L"opengl32.dll");
    return library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

const char* SetGlPixelFormat(void* dc, int colourBits, int alphaBits, int depthBits) {
    PIXELFORMATDESCRIPTOR want{};
    want.nSize = sizeof want;
    want.nVersion = 1;
    want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    want.iPixelType = PFD_TYPE_RGBA;
    want.cColorBits = static_cast<BYTE>(colourBits);
    want.cAlphaBits = static_cast<BYTE>(alphaBits);
    want.cDepthBits = static_cast<BYTE>(depthBits);
    want.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(static_cast<HDC>(dc), &want);
    if (!format) return "ChoosePixelFormat";
    if (!SetPixelFormat(static_cast<HDC>(dc), format, &want)) return "SetPixelFormat";
    return nullptr;
}

}  // namespace platform::win32

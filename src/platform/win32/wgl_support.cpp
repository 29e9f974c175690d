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

}  // namespace platform::win32

#include "platform/win32/registry_win32.h"

#include "platform/win32/wide_text.h"

#include <vector>

namespace platform {

namespace {

// The first limit bytes of UTF-8 text, not splitting a character.
std::string CutUtf8(std::string text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace

ConfigResult ReadRegistryString(const std::string& key, const std::string& value, std::string& out) {
    out.clear();
    bool anyKey = false;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS)
            continue;
        anyKey = true;
        const std::wstring name = Wide(value);
        DWORD type = 0, bytes = 0;
        LSTATUS status = RegQueryValueExW(opened, name.c_str(), nullptr, &type, nullptr, &bytes);
        std::vector<wchar_t> text;
        if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            // Room for a terminator the stored value may lack.
            text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
            status = RegQueryValueExW(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                                      &bytes);
        }
        RegCloseKey(opened);
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        out = CutUtf8(Utf8(std::wstring(text.data())), kRegistryValueLimit);
        return ConfigResult::Found;
    }
    return anyKey ? ConfigResult::NoValue : ConfigResult::NoKey;
}

}  // namespace platform

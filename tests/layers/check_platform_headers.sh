#!/usr/bin/env bash
# Fails when code outside the platform's folders includes a system's own
# headers (POSIX, X11, GLX, EGL, FLTK, Windows), when anything but the one GL
# header includes GL's headers, or when a name that Windows headers define as
# a macro (MessageBox, PeekMessage, ...) is used as a name of ours.
#   check_platform_headers.sh [ROOT]   (default: the repository; ROOT holds src/ and tools/)
set -euo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}

# Programs that are about one window system by nature.
allowed_dirs=(tools/xshot)

system_headers='unistd\.h|fcntl\.h|sys/.*|pthread\.h|dlfcn\.h|dirent\.h|pwd\.h|grp\.h|termios\.h|poll\.h|spawn\.h|libgen\.h|glob\.h|fnmatch\.h|semaphore\.h|sched\.h|syslog\.h|strings\.h|ftw\.h|netdb\.h|netinet/.*|arpa/.*'
system_headers+='|X11/.*|GL/glx.*\.h|EGL/.*|KHR/.*|FL/.*'
system_headers+='|windows\.h|winbase\.h|winuser\.h|wingdi\.h|commdlg\.h|lzexpand\.h|shlobj\.h|io\.h|direct\.h'
gl_headers='GL/(gl|glu|glext)\.h'
# Windows headers turn these into NameA or NameW.
macros='MessageBox|ReplaceFile|PeekMessage|GetMessage|PostMessage|SendMessage|DispatchMessage|DefWindowProc|CreateWindow|CreateWindowEx|RegisterClass|UnregisterClass|CreateFile|DeleteFile|CopyFile|MoveFile|CreateDirectory|RemoveDirectory|GetCurrentDirectory|SetCurrentDirectory|GetTempPath|GetTempFileName|GetFileAttributes|FindFirstFile|FindNextFile|GetFullPathName|GetModuleFileName|GetEnvironmentVariable|SetEnvironmentVariable|OutputDebugString|FormatMessage|LoadString|LoadImage|LoadIcon|LoadCursor|LoadMenu|LoadBitmap|CreateFont|DrawText|TextOut|GetObject|GetTextExtentPoint32|SetWindowText|GetWindowText|GetClassName|CreateDialog|DialogBox|GetOpenFileName|GetSaveFileName|ChooseFont|FindText|ReplaceText|GetUserName|GetComputerName|CreateEvent|CreateMutex|RegOpenKeyEx|RegQueryValueEx|ShellExecute|CreateProcess|GetCommandLine|StartDoc|CreateDC|wsprintf|lstrcpy|lstrlen'

status=0
checked=0
is_allowed() {
    local rel=$1
    [[ $rel == src/platform/* ]] && return 0
    for d in "${allowed_dirs[@]}"; do [[ $rel == "$d"/* ]] && return 0; done
    return 1
}

while IFS= read -r file; do
    rel=${file#"$root"/}
    checked=$((checked + 1))
    is_allowed "$rel" && continue
    while IFS= read -r line; do
        header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"$line")
        if [[ $header =~ ^($system_headers)$ ]]; then
            echo "check_platform_headers: $rel includes <$header>, a system header (only src/platform/ may)" >&2
            status=1
        elif [[ $header =~ ^($gl_headers)$ && $rel != src/glh/gl.h ]]; then
            echo "check_platform_headers: $rel includes <$header>; include \"glh/gl.h\" instead" >&2
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
    while IFS= read -r hit; do
        echo "check_platform_headers: $rel:${hit%%:*} uses a name that Windows headers define as a macro: ${hit#*:}" >&2
        status=1
    done < <(grep -nowE "($macros)" "$file" || true)
done < <(find "$root/src" "$root/tools" -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)

if (( checked == 0 )); then
    echo "check_platform_headers: no sources under $root" >&2
    exit 1
fi
if (( status == 0 )); then echo "check_platform_headers: $checked files, system headers only in the platform's folders"; fi
exit $status

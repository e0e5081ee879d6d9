// Whether a volume keeps named streams, asked before a write run reads
// anything. Beside the stream calls, so that the dialog tests' double can
// answer for a volume they do not have.
#include <windows.h>

#include <cwchar>

#include "platform/platform.h"

bool VolumeKeepsStreams(const PathChar* path) {
    std::wstring volume(std::wcslen(path) + MAX_PATH + 1, L'\0');
    if (!GetVolumePathNameW(path, &volume[0], static_cast<DWORD>(volume.size()))) return true;
    DWORD flags = 0;
    wchar_t system[MAX_PATH + 1] = L"";
    if (!GetVolumeInformationW(volume.c_str(), nullptr, 0, nullptr, nullptr, &flags, system, MAX_PATH + 1)) {
        return true;
    }
    // NTFS always keeps them; Wine calls every volume NTFS and leaves the flag out.
    return (flags & FILE_NAMED_STREAMS) != 0 || std::wcscmp(system, L"NTFS") == 0;
}

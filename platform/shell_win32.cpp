// The Send To shortcut (IShellLinkW saved through IPersistFile) and the
// verb keys under HKCU\Software\Classes: nothing outside the user's own
// registry and folders, so no administrator is needed.
#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/shell.h"

static const wchar_t VerbText[] = L"Check with Quorvane";
static const wchar_t ShortcutName[] = L"\\Quorvane.lnk";
static const wchar_t* const VerbKeys[] = {
    L"Software\\Classes\\Directory\\shell\\Quorvane.Check",
    L"Software\\Classes\\Drive\\shell\\Quorvane.Check",
};

PathString RunningProgramPath() {
    PathString path(MAX_PATH, L'\0');
    for (;;) {
        DWORD got = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (got == 0) return PathString();
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The folder is made only to register: asking must change nothing.
static PathString SendToShortcut(DWORD flags = 0) {
    wchar_t* folder = nullptr;
    PathString path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_SendTo, flags, nullptr, &folder))) {
        path = PathString(folder) + ShortcutName;
    }
    CoTaskMemFree(folder);
    return path;
}

static bool IsProgramFile(const PathString& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// COM for the shortcut's object, on the calling thread, for one call.
static IShellLinkW* CreateShellLink() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return nullptr;
    }
    return link;
}

static int SaveShortcut(const PathString& shortcut, const PathChar* window) {
    IShellLinkW* link = CreateShellLink();
    if (!link) return ERROR_NOT_SUPPORTED;
    IPersistFile* file = nullptr;
    HRESULT result = link->SetPath(window);
    if (SUCCEEDED(result)) result = link->SetDescription(VerbText);
    if (SUCCEEDED(result)) result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(result)) result = file->Save(shortcut.c_str(), TRUE);
    if (file) file->Release();
    link->Release();
    return SUCCEEDED(result) ? 0 : HRESULT_CODE(result);
}

static PathString ShortcutTarget(const PathString& shortcut) {
    IShellLinkW* link = CreateShellLink();
    if (!link) return PathString();
    IPersistFile* file = nullptr;
    wchar_t target[MAX_PATH] = L"";
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ))) {
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    }
    if (file) file->Release();
    link->Release();
    return target;
}

static LSTATUS SetText(HKEY key, const wchar_t* name, const PathString& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

static int WriteVerb(const wchar_t* place, const PathString& command, const PathChar* window) {
    HKEY verb = nullptr, run = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, place, 0, nullptr, 0, KEY_WRITE, nullptr, &verb, nullptr);
    if (status == ERROR_SUCCESS) status = SetText(verb, nullptr, VerbText);
    if (status == ERROR_SUCCESS) status = SetText(verb, L"Icon", window);
    if (status == ERROR_SUCCESS) {
        status = RegCreateKeyExW(verb, L"command", 0, nullptr, 0, KEY_WRITE, nullptr, &run, nullptr);
    }
    if (status == ERROR_SUCCESS) status = SetText(run, nullptr, command);
    if (run) RegCloseKey(run);
    if (verb) RegCloseKey(verb);
    return status;
}

// The program of a verb's command: the text within its first pair of quotes.
static PathString VerbProgram(const wchar_t* place) {
    PathString key = PathString(place) + L"\\command";
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return PathString();
    }
    PathString command(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, &command[0], &bytes) !=
        ERROR_SUCCESS) {
        return PathString();
    }
    command.resize(wcslen(command.c_str()));
    size_t open = command.find(L'"');
    size_t close = open == PathString::npos ? open : command.find(L'"', open + 1);
    return close == PathString::npos ? command : command.substr(open + 1, close - open - 1);
}

static bool VerbPresent(const wchar_t* place) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, place, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

int RegisterShellEntries(const PathChar* window) {
    PathString shortcut = SendToShortcut(KF_FLAG_CREATE);
    if (shortcut.empty()) return ERROR_PATH_NOT_FOUND;
    int error = SaveShortcut(shortcut, window);
    PathString program = PathString(L"\"") + window + L"\" ";
    if (!error) error = WriteVerb(VerbKeys[0], program + FolderVerbArguments, window);
    if (!error) error = WriteVerb(VerbKeys[1], program + DriveVerbArguments, window);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return error;
}

void QueryShellEntries(ShellEntryState states[ShellEntryCount]) {
    states[SendToEntry].place = SendToShortcut();
    states[SendToEntry].present = IsProgramFile(states[SendToEntry].place);
    states[SendToEntry].program = states[SendToEntry].present ? ShortcutTarget(states[SendToEntry].place) : L"";
    for (int i = 0; i < 2; ++i) {
        ShellEntryState& state = states[FolderVerbEntry + i];
        state.place = PathString(L"HKCU\\") + VerbKeys[i];
        state.present = VerbPresent(VerbKeys[i]);
        state.program = state.present ? VerbProgram(VerbKeys[i]) : L"";
    }
    for (int i = 0; i < ShellEntryCount; ++i) {
        states[i].programExists = !states[i].program.empty() && IsProgramFile(states[i].program);
    }
}

// A key that is not there is no failure: there is nothing to delete.
static int DeleteKey(const PathString& place) {
    LSTATUS status = RegDeleteKeyW(HKEY_CURRENT_USER, place.c_str());
    return status == ERROR_FILE_NOT_FOUND ? 0 : status;
}

int UnregisterShellEntries(ShellEntryState states[ShellEntryCount]) {
    QueryShellEntries(states);
    int error = 0;
    if (states[SendToEntry].present && !DeleteFileW(states[SendToEntry].place.c_str())) error = GetLastError();
    // The command key first: a key with subkeys is not deleted, so whatever
    // another program put under ours stays.
    for (const wchar_t* place : VerbKeys) {
        int failed = DeleteKey(PathString(place) + L"\\command");
        if (!failed) failed = DeleteKey(place);
        if (!error) error = failed;
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return error;
}

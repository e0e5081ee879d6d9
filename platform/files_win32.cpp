// Files and folders on Windows: opens that refuse a link below a target,
// folders held open (no delete sharing) while the walk is inside them, reads,
// listings, and the way back to a listed file below its target.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "platform/platform.h"

const int MaxEntryNameLength = 260;  // a name written with its separator: 261 units

static HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
static FileHandle AsFile(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// Closes handle and leaves error as the last error; returns NoFile.
static FileHandle FailWith(HANDLE handle, DWORD error) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    SetLastError(error);
    return NoFile;
}

static void FillIdentity(const BY_HANDLE_FILE_INFORMATION& information, FileIdentity* identity) {
    identity->volume = information.dwVolumeSerialNumber;
    identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
}

static void FillSnapshot(const BY_HANDLE_FILE_INFORMATION& information, FileSnapshot* snapshot) {
    FillIdentity(information, &snapshot->identity);
    snapshot->size = static_cast<int64_t>((static_cast<uint64_t>(information.nFileSizeHigh) << 32) |
                                          information.nFileSizeLow);
    snapshot->stamp.value[0] = information.ftLastWriteTime.dwLowDateTime;
    snapshot->stamp.value[1] = information.ftLastWriteTime.dwHighDateTime;
}

bool TakeFileSnapshot(FileHandle file, FileSnapshot* snapshot) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(AsHandle(file), &information)) return false;
    FillSnapshot(information, snapshot);
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(AsHandle(file), FileBasicInfo, &basic, sizeof basic)) {
        snapshot->change.value[0] = basic.ChangeTime.LowPart;
        snapshot->change.value[1] = basic.ChangeTime.HighPart;
    } else {
        snapshot->change.value[0] = snapshot->change.value[1] = 0;
    }
    return true;
}

static FileHandle KeepFile(HANDLE file, FileSnapshot* snapshot) {
    if (file == INVALID_HANDLE_VALUE) return NoFile;
    if (snapshot && !TakeFileSnapshot(AsFile(file), snapshot)) return FailWith(file, GetLastError());
    return AsFile(file);
}

// A file read shares writing and deletion too: another name of it waits open
// while the streams of the first are written, which Wine counts against the
// file itself. A change meanwhile is told by the snapshots.
const DWORD ReadSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileHandle OpenFileForReading(const PathChar* path, FileSnapshot* snapshot) {
    HANDLE file = CreateFileW(path, GENERIC_READ, ReadSharing, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return KeepFile(file, snapshot);
}

// The entry at path itself, a link (symbolic link or junction) not
// followed; access and sharing as asked. Other reparse points (deduplicated
// or cloud files) are files to be read through.
static HANDLE OpenEntry(const PathChar* path, DWORD access, DWORD sharing, DWORD flags) {
    HANDLE handle = CreateFileW(path, access, sharing, nullptr, OPEN_EXISTING, flags | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return handle;
    }
    if (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT) {
        return AsHandle(FailWith(handle, static_cast<DWORD>(ErrorIsLink)));
    }
    CloseHandle(handle);
    return CreateFileW(path, access, sharing, nullptr, OPEN_EXISTING, flags, nullptr);
}

FileHandle OpenFileForReading(const EntryPlace& place, FileSnapshot* snapshot) {
    if (place.folder == NoFile) return OpenFileForReading(place.path, snapshot);
    return KeepFile(OpenEntry(place.path, GENERIC_READ, ReadSharing, FILE_FLAG_SEQUENTIAL_SCAN), snapshot);
}

FileHandle OpenFileForStreams(const EntryPlace& place) {
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = place.folder == NoFile
                      ? CreateFileW(place.path, FILE_READ_ATTRIBUTES, sharing, nullptr, OPEN_EXISTING, 0, nullptr)
                      : OpenEntry(place.path, FILE_READ_ATTRIBUTES, sharing, 0);
    return KeepFile(file, nullptr);
}

int64_t FileSizeOf(FileHandle file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(AsHandle(file), &size)) return 0;
    return size.QuadPart;
}

uint32_t ReadFileChunk(FileHandle file, void* buffer, uint32_t size) {
    // A read may deliver less than asked before the end (network shares):
    // read on until it delivers nothing.
    uint32_t done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(AsHandle(file), static_cast<char*>(buffer) + done, size - done, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

void CloseFile(FileHandle file) {
    if (file != NoFile) CloseHandle(AsHandle(file));
}

PathKind QueryPathKind(const PathChar* path) {
    // Asked as the walk will reach it, through the long-path prefix: a name
    // that ends in a dot or a blank, or one of a device, is the file itself.
    PathString full = MakeAbsolutePath(path);
    if (full.empty() || full[0] != L'\\') full.insert(0, LongPathPrefix);
    DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathDirectory : PathFile;
}

bool QueryFileSize(const PathChar* path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

FileHandle OpenFolder(const EntryPlace& place, FileIdentity* identity) {
    // Without delete sharing: nobody renames, deletes or swaps the folder
    // while the walk is inside it, so the paths through it stay its own.
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    HANDLE folder = place.folder == NoFile
                        ? CreateFileW(place.path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, sharing, nullptr,
                                      OPEN_EXISTING, flags, nullptr)
                        : OpenEntry(place.path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, sharing, flags);
    if (folder == INVALID_HANDLE_VALUE) return NoFile;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(folder, &information)) return FailWith(folder, GetLastError());
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return FailWith(folder, static_cast<DWORD>(ErrorNotFolder));
    }
    FillIdentity(information, identity);
    return AsFile(folder);
}

// Folders are never closed early on Windows, whose handles are plenty.
FileHandle OpenParentFolder(FileHandle, FileIdentity*) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return NoFile;
}

static EntryKind KindOf(const WIN32_FIND_DATAW& data) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return EntryFile;
    // A folder that is a reparse point (junction, symbolic link, mount
    // point) may lead anywhere, also outside the target: not entered.
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryOther : EntryDirectory;
}

bool ListDirectory(FileHandle, PathChar* path, int length, DirectoryListing* listing) {
    listing->names.clear();
    listing->entries.clear();
    WIN32_FIND_DATAW data;
    path[length] = L'*';
    path[length + 1] = 0;
    HANDLE find = FindFirstFileW(path, &data);
    DWORD error = find == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    path[length] = 0;
    if (find == INVALID_HANDLE_VALUE) {
        // An empty drive root has not even "." to show.
        SetLastError(error);
        return error == ERROR_FILE_NOT_FOUND;
    }
    do {
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
        DirectoryEntry entry;
        entry.nameAt = static_cast<int>(listing->names.size());
        entry.length = static_cast<int>(wcslen(name));
        entry.kind = KindOf(data);
        entry.error = 0;
        listing->names.append(name, static_cast<size_t>(entry.length) + 1);
        listing->entries.push_back(entry);
    } while (FindNextFileW(find, &data));
    error = GetLastError();
    FindClose(find);
    SetLastError(error);
    return error == ERROR_NO_MORE_FILES;
}

// Where the system resolves the open handle, as a path it would take.
static bool FinalPathOf(HANDLE handle, PathString* path) {
    DWORD need = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (need == 0) return false;
    path->assign(need, L'\0');
    DWORD got = GetFinalPathNameByHandleW(handle, &(*path)[0], need, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (got == 0 || got >= need) return false;
    path->resize(got);
    while (!path->empty() && path->back() == L'\\') path->pop_back();
    return true;
}

// The handle's path within its volume (\dir\file). Wine's final path is
// refused past MAX_PATH; this name has no such bound.
static bool NameWithinVolume(HANDLE handle, PathString* name) {
    std::vector<uint8_t> buffer(sizeof(FILE_NAME_INFO) + 2 * 32768);
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, buffer.data(), static_cast<DWORD>(buffer.size()))) {
        return false;
    }
    const FILE_NAME_INFO* information = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    name->assign(information->FileName, information->FileNameLength / sizeof(wchar_t));
    while (!name->empty() && name->back() == L'\\') name->pop_back();
    return true;
}

static bool SamePathText(const PathString& a, const PathString& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Whether file is where the walk found it, relative below root: by final
// paths, or where the system gives none (Wine, past MAX_PATH), by the names
// within the volume, on the root's volume.
static bool FoundBelowRoot(const TargetRoot& root, HANDLE file, const PathChar* relative) {
    PathString found, rootName;
    if (!root.finalPath.empty() && FinalPathOf(file, &found)) {
        return SamePathText(found, root.finalPath + L"\\" + relative);
    }
    BY_HANDLE_FILE_INFORMATION information;
    return GetFileInformationByHandle(file, &information) && information.dwVolumeSerialNumber == root.identity.volume &&
           NameWithinVolume(AsHandle(root.handle), &rootName) && NameWithinVolume(file, &found) &&
           SamePathText(found, rootName + L"\\" + relative);
}

bool OpenTargetRoot(const PathChar* path, const FileIdentity& walked, TargetRoot* root) {
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    root->handle = NoFile;
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) {
        FailWith(handle, GetLastError());
        return false;
    }
    // Empty where the system gives none: the names within the volume then.
    if (!FinalPathOf(handle, &root->finalPath)) root->finalPath.clear();
    FillIdentity(information, &root->identity);
    if (root->identity.volume != walked.volume || root->identity.index != walked.index) {
        FailWith(handle, static_cast<DWORD>(ErrorTargetMoved));
        return false;
    }
    root->handle = AsFile(handle);
    return true;
}

void CloseTargetRoot(TargetRoot* root) {
    CloseFile(root->handle);
    root->handle = NoFile;
}

FileHandle OpenFileBelowRoot(const TargetRoot& root, const PathChar* path, int relativeAt, FileSnapshot* snapshot) {
    const PathChar* relative = path + relativeAt;
    while (*relative == L'\\') ++relative;
    if (*relative == 0) {
        // The target is the file itself, as the user named it.
        FileHandle file = OpenFileForReading(path, snapshot);
        if (file != NoFile && snapshot &&
            (snapshot->identity.volume != root.identity.volume || snapshot->identity.index != root.identity.index)) {
            return FailWith(AsHandle(file), static_cast<DWORD>(ErrorTargetMoved));
        }
        return file;
    }
    HANDLE file = OpenEntry(path, GENERIC_READ, ReadSharing, FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) return NoFile;
    // No folder on the way was swapped for a link or junction: the system
    // resolves the file where the walk found it.
    if (!FoundBelowRoot(root, file, relative)) return FailWith(file, static_cast<DWORD>(ErrorIsLink));
    return KeepFile(file, snapshot);
}

int OpenFolderLimit() { return 1 << 20; }

bool RewindFile(FileHandle file) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    return SetFilePointerEx(AsHandle(file), start, nullptr, FILE_BEGIN) != 0;
}

int OpenFileRoom() { return 1 << 20; }

bool PathNamesFile(const PathChar* path, const FileIdentity& identity) {
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    FileIdentity found = {0, 0};
    if (GetFileInformationByHandle(file, &information)) FillIdentity(information, &found);
    CloseHandle(file);
    return found.volume == identity.volume && found.index == identity.index;
}

FileFacts FactsOf(const FileSnapshot& snapshot) {
    FileFacts facts;
    facts.size = static_cast<uint64_t>(snapshot.size);
    facts.time = static_cast<int64_t>((static_cast<uint64_t>(snapshot.stamp.value[1]) << 32) |
                                      static_cast<uint32_t>(snapshot.stamp.value[0]));
    facts.unit = TimeUnitWindows;
    return facts;
}

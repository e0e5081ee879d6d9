#include "tests/ui/stream_double.h"

#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/platform.h"

namespace {

std::mutex Lock;
std::map<std::wstring, std::vector<uint8_t>> Streams;
std::map<std::wstring, std::vector<uint8_t>> Records;
std::set<std::pair<std::wstring, int>> Failing;
void (*ReadHook)(const std::wstring&);
void (*WriteHook)(const std::wstring&);
bool VolumesKeepStreams = true;

std::wstring FileOf(const PathChar* filePath) {
    std::wstring path = filePath;
    if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
    return path;
}

bool Fails(const std::wstring& file, StreamCall call) { return Failing.count(std::make_pair(file, int(call))) != 0; }

}  // namespace

void ClearStreams() {
    std::lock_guard<std::mutex> hold(Lock);
    Streams.clear();
    Records.clear();
    Failing.clear();
    ReadHook = nullptr;
    WriteHook = nullptr;
    VolumesKeepStreams = true;
}

void SetVolumesKeepStreams(bool keep) { VolumesKeepStreams = keep; }

bool VolumeKeepsStreams(const PathChar*) { return VolumesKeepStreams; }

void PutStream(const std::wstring& filePath, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> hold(Lock);
    Streams[filePath] = bytes;
}

bool GetStream(const std::wstring& filePath, std::vector<uint8_t>* bytes) {
    std::lock_guard<std::mutex> hold(Lock);
    auto found = Streams.find(filePath);
    if (found == Streams.end()) return false;
    *bytes = found->second;
    return true;
}

void FailStreamCall(const std::wstring& filePath, StreamCall call) {
    std::lock_guard<std::mutex> hold(Lock);
    Failing.insert(std::make_pair(filePath, int(call)));
}

void SetReadHook(void (*hook)(const std::wstring&)) {
    std::lock_guard<std::mutex> hold(Lock);
    ReadHook = hook;
}

void SetWriteHook(void (*hook)(const std::wstring&)) {
    std::lock_guard<std::mutex> hold(Lock);
    WriteHook = hook;
}

int QueryStream(FileHandle, const PathChar* path, StreamName stream) {
    std::wstring file = FileOf(path);
    std::lock_guard<std::mutex> hold(Lock);
    if (stream == RecordStream) return Records.count(file) ? static_cast<int>(Records[file].size()) : NoDigestStream;
    if (Fails(file, StreamExistsCall)) return DigestStreamUnreadable;
    auto found = Streams.find(file);
    return found == Streams.end() ? NoDigestStream : static_cast<int>(found->second.size());
}

int ReadStream(FileHandle, const PathChar* path, StreamName stream, uint8_t* bytes, int capacity) {
    std::wstring file = FileOf(path);
    void (*hook)(const std::wstring&);
    {
        std::lock_guard<std::mutex> hold(Lock);
        hook = ReadHook;
    }
    if (hook && stream == DigestStream) hook(file);
    std::lock_guard<std::mutex> hold(Lock);
    std::map<std::wstring, std::vector<uint8_t>>& streams = stream == DigestStream ? Streams : Records;
    auto found = streams.find(file);
    if (stream == DigestStream && Fails(file, StreamReadCall)) return DigestStreamUnreadable;
    if (found == streams.end()) return NoDigestStream;
    int n = static_cast<int>(found->second.size() < static_cast<size_t>(capacity) ? found->second.size() : capacity);
    for (int i = 0; i < n; ++i) bytes[i] = found->second[i];
    return static_cast<int>(found->second.size());
}

int WriteFileStreams(FileHandle read, const PathChar* path, const uint8_t* digest, StreamWrite how,
                     const uint8_t* record, int recordLength) {
    CloseFile(read);
    std::wstring file = FileOf(path);
    void (*hook)(const std::wstring&);
    {
        std::lock_guard<std::mutex> hold(Lock);
        hook = WriteHook;
    }
    if (hook) hook(file);
    std::lock_guard<std::mutex> hold(Lock);
    if (Fails(file, StreamWriteCall)) return -1;
    if (digest) {
        bool exists = Streams.count(file) != 0;
        if (how == StreamCreateOnly && exists) return StreamAppeared;
        if (how == StreamReplaceOnly && !exists) return StreamVanished;
        Streams[file] = std::vector<uint8_t>(digest, digest + 64);
    }
    if (record) Records[file] = std::vector<uint8_t>(record, record + recordLength);
    return 0;
}

bool DeleteFileStreams(FileHandle, const PathChar* path) {
    std::wstring file = FileOf(path);
    std::lock_guard<std::mutex> hold(Lock);
    if (Fails(file, StreamDeleteCall)) return false;
    Records.erase(file);
    Streams.erase(file);
    return true;
}

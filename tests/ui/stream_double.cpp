#include "tests/ui/stream_double.h"

#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/platform.h"

const PathChar DigestStreamSuffix[] = L":z";
const int DigestStreamSuffixLength = 2;

namespace {

std::mutex Lock;
std::map<std::wstring, std::vector<uint8_t>> Streams;
std::set<std::pair<std::wstring, int>> Failing;
void (*ReadHook)(const std::wstring&);
void (*WriteHook)(const std::wstring&);

std::wstring FileOf(const PathChar* streamPath) {
    std::wstring path = streamPath;
    if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
    if (path.size() >= 2 && path.compare(path.size() - 2, 2, L":z") == 0) path.resize(path.size() - 2);
    return path;
}

bool Fails(const std::wstring& file, StreamCall call) { return Failing.count(std::make_pair(file, int(call))) != 0; }

}  // namespace

void ClearStreams() {
    std::lock_guard<std::mutex> hold(Lock);
    Streams.clear();
    Failing.clear();
    ReadHook = nullptr;
    WriteHook = nullptr;
}

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

int QueryDigestStream(const PathChar* streamPath) {
    std::wstring file = FileOf(streamPath);
    std::lock_guard<std::mutex> hold(Lock);
    if (Fails(file, StreamExistsCall)) return DigestStreamUnreadable;
    auto found = Streams.find(file);
    return found == Streams.end() ? NoDigestStream : static_cast<int>(found->second.size());
}

int ReadDigestStream(const PathChar* streamPath, uint8_t digest[64]) {
    std::wstring file = FileOf(streamPath);
    void (*hook)(const std::wstring&);
    {
        std::lock_guard<std::mutex> hold(Lock);
        hook = ReadHook;
    }
    if (hook) hook(file);
    std::lock_guard<std::mutex> hold(Lock);
    auto found = Streams.find(file);
    if (Fails(file, StreamReadCall)) return DigestStreamUnreadable;
    if (found == Streams.end()) return NoDigestStream;
    int n = static_cast<int>(found->second.size() < 64 ? found->second.size() : 64);
    for (int i = 0; i < n; ++i) digest[i] = found->second[i];
    return static_cast<int>(found->second.size());
}

int WriteDigestStream(FileHandle read, const PathChar* streamPath, const uint8_t digest[64]) {
    CloseFile(read);
    std::wstring file = FileOf(streamPath);
    void (*hook)(const std::wstring&);
    {
        std::lock_guard<std::mutex> hold(Lock);
        hook = WriteHook;
    }
    if (hook) hook(file);
    std::lock_guard<std::mutex> hold(Lock);
    if (Fails(file, StreamWriteCall)) return -1;
    Streams[file] = std::vector<uint8_t>(digest, digest + 64);
    return 64;
}

bool DeleteDigestStream(const PathChar* streamPath) {
    std::wstring file = FileOf(streamPath);
    std::lock_guard<std::mutex> hold(Lock);
    if (Fails(file, StreamDeleteCall)) return false;
    return Streams.erase(file) != 0;
}

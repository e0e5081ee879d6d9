// In-memory digest streams for the dialog tests: Wine stores no alternate data
// streams, so the stream calls are replaced by maps keyed by the file's path
// (less the "\\?\" prefix).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum StreamCall { StreamExistsCall, StreamReadCall, StreamWriteCall, StreamDeleteCall };

void ClearStreams();
// What VolumeKeepsStreams answers for every volume; true after ClearStreams.
void SetVolumesKeepStreams(bool keep);
void PutStream(const std::wstring& filePath, const std::vector<uint8_t>& bytes);
bool GetStream(const std::wstring& filePath, std::vector<uint8_t>* bytes);
// Every later call of that kind on that file fails (a query or read: as a
// stream that exists but cannot be read).
void FailStreamCall(const std::wstring& filePath, StreamCall call);
// Called at the start of every read of a digest with the file's path, on the
// caller's thread; a test may hold a worker there.
void SetReadHook(void (*hook)(const std::wstring& filePath));
// Called inside every digest write, before the bytes are stored: the writing
// run holds WriteGuard then.
void SetWriteHook(void (*hook)(const std::wstring& filePath));

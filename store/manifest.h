// The checksum files other tools verify and write: plain "<hex>  path" lines
// (sha*sum, RHash), the BSD form "WHIRLPOOL (path) = <hex>", and hashdeep's
// audit format with sizes. Lines in, entries out, and back; the paths a
// manifest names against a base folder. Pure and portable, for any unit type
// (bytes on POSIX, UTF-16 on Windows; the file itself is UTF-8).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum ManifestFormat : uint8_t { ManifestPlain, ManifestBsd, ManifestHashdeep };

template <typename Char>
struct ManifestEntry {
    uint8_t digest[64];
    int64_t size;  // -1 where the format has none
    std::basic_string<Char> path;  // unescaped, separators as written
    int line;
};

enum ManifestError : uint8_t {
    ManifestFine,
    ManifestNoDigest,     // no 128 hex digits where the digest belongs
    ManifestNoPath,       // nothing, or no two blanks, after the digest
    ManifestBadEscape,
    ManifestBadSize,
    ManifestNoColumn,     // a hashdeep file without a whirlpool column
    ManifestOtherHash,    // a BSD line of another algorithm
    ManifestBadText,      // not UTF-8 (where units are UTF-16)
    ManifestNamedTwice,   // one file twice, with two digests
};

struct ManifestProblem {
    int line;
    ManifestError error;
};

const char* ManifestErrorText(ManifestError error);

// The whole file: a byte-order mark and CR LF line ends are taken, the
// format is told by the first line that is not blank, blank lines and
// comments (# and ; in the line forms, ## in hashdeep's) are skipped. False
// at the first bad line, with its number; nothing of the file is to be used then.
template <typename Char>
bool ParseManifest(const char* text, size_t length, std::vector<ManifestEntry<Char>>* entries,
                   ManifestProblem* problem);

// hashdeep's header lines; empty for the other formats.
const char* ManifestHeader(ManifestFormat format);
// One file's line in the format, its end included, path written with '/'
// between names. A path that would break the line is escaped as in a
// record (a leading backslash, \\, \n, \r, \t, \xHH); hashdeep has no
// escapes, so there it is false for a line feed or carriage return, and
// false in any format for a lone surrogate, which UTF-8 cannot carry.
template <typename Char>
bool AppendManifestLine(ManifestFormat format, const uint8_t digest[64], uint64_t size, const Char* path, int length,
                        std::basic_string<Char>* line);

// A name escaped as a record escapes it, and back: the escapes of one
// path. windowsRules: a backslash (a separator there) needs no escape.
template <typename Char>
bool NameNeedsEscape(const Char* path, int length, bool windowsRules);
template <typename Char>
void AppendEscapedName(const Char* path, int length, std::basic_string<Char>* out);
// False for an escape that is none of those above.
template <typename Char>
bool ReadEscapedName(const Char* text, int length, std::basic_string<Char>* path);

// path as one clean absolute path: against base (absolute) where it is
// relative; empty names and "." dropped, ".." taking the name before it. With
// windowsRules '/' and '\' both separate, "X:" and "\\server\share" are
// roots, and the result separates with '\'.
template <typename Char>
std::basic_string<Char> ResolveManifestPath(const std::basic_string<Char>& base, const std::basic_string<Char>& path,
                                            bool windowsRules);
// path relative to base (both clean and absolute), with '/' between names
// and "../" where it leaves base; path itself, with '/', on another root.
template <typename Char>
std::basic_string<Char> RelativeManifestPath(const std::basic_string<Char>& base, const std::basic_string<Char>& path,
                                             bool windowsRules);

// Whether a manifest's file name says another algorithm, as the checksum
// tools name their files (x.sha512, SHA256SUMS, x.md5sum): its 128 hex
// digits (SHA-512's too) would make every file look altered.
template <typename Char>
bool NameSaysOtherHash(const std::basic_string<Char>& path);

// The units as UTF-8: bytes as they are, UTF-16 encoded.
template <typename Char>
void AppendUtf8(const Char* units, size_t length, std::string* out);

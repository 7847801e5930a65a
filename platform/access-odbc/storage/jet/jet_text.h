#pragma once

// Text as Jet stores it, made UTF-8: Jet 4 writes UTF-16, often "compressed" to one
// byte per character; Jet 3 writes bytes in the database's code page.

#include "storage/jet/jet_header.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace accessodbc {
namespace jet {

// Unpaired surrogates become U+FFFD rather than invalid UTF-8.
std::string utf16ToUtf8(const uint16_t *units, size_t count);

// Fails on invalid UTF-8.
bool utf8ToUtf16(const std::string &text, std::u16string *out);

// A Jet 4 text or memo value: UTF-16LE, or, after the marker FF FE, runs of one-byte
// characters (U+0000 to U+00FF) and of UTF-16LE characters, each 00 byte switching between them.
std::string decodeJet4Text(const unsigned char *bytes, size_t length);

// Jet 3 text in a Windows code page, through iconv.
class CodePageDecoder {
public:
    // Code page 0 (not recorded) and code pages iconv does not know read as Windows-1252,
    // the code page of western-language installations.
    explicit CodePageDecoder(uint16_t codePage);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder &) = delete;
    CodePageDecoder &operator=(const CodePageDecoder &) = delete;

    // Bytes that the code page does not define become U+FFFD.
    std::string decode(const unsigned char *bytes, size_t length);

private:
    void *converter_;
};

// Text and memo values, and names in the catalog, of either Jet version made UTF-8.
class TextDecoder {
public:
    TextDecoder(Kind kind, uint16_t codePage) : jet4_(kind == Kind::Jet4 || kind == Kind::Ace), codePage_(codePage) {}

    std::string decode(const unsigned char *bytes, size_t length)
    {
        return jet4_ ? decodeJet4Text(bytes, length) : codePage_.decode(bytes, length);
    }

private:
    bool jet4_;
    CodePageDecoder codePage_;
};

} // namespace jet
} // namespace accessodbc

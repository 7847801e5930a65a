#include "storage/jet/jet_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace accessodbc {
namespace jet {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

void appendUtf8(std::string *out, uint32_t code)
{
    if (code < 0x80) {
        *out += char(code);
    } else if (code < 0x800) {
        *out += char(0xC0 | (code >> 6));
        *out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += char(0xE0 | (code >> 12));
        *out += char(0x80 | ((code >> 6) & 0x3F));
        *out += char(0x80 | (code & 0x3F));
    } else {
        *out += char(0xF0 | (code >> 18));
        *out += char(0x80 | ((code >> 12) & 0x3F));
        *out += char(0x80 | ((code >> 6) & 0x3F));
        *out += char(0x80 | (code & 0x3F));
    }
}

const uint32_t kReplacement = 0xFFFD;

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code units of a compressed Jet 4 value, which starts after its FF FE marker.
std::vector<uint16_t> expandCompressed(const unsigned char *bytes, size_t length)
{
    std::vector<uint16_t> units;
    units.reserve(length);
    bool oneByte = true;
    size_t i = 0;
    while (i < length) {
        if (bytes[i] == 0) {
            oneByte = !oneByte;
            ++i;
        } else if (oneByte) {
            units.push_back(bytes[i]);
            ++i;
        } else if (i + 1 < length) {
            units.push_back(uint16_t(bytes[i] | bytes[i + 1] << 8));
            i += 2;
        } else {
            break;
        }
    }
    return units;
}

} // namespace

std::string utf16ToUtf8(const uint16_t *units, size_t count)
{
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t unit = units[i];
        if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(units[i + 1])) {
            appendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(&out, kReplacement);
        } else {
            appendUtf8(&out, unit);
        }
    }
    return out;
}

bool utf8ToUtf16(const std::string &text, std::u16string *out)
{
    out->clear();
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        if (extra < 0 || text.size() - i < size_t(extra) + 1)
            return false;
        uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + size_t(k)]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        i += size_t(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            *out += char16_t(0xD800 + (code >> 10));
            *out += char16_t(0xDC00 + (code & 0x3FF));
        } else {
            *out += char16_t(code);
        }
    }
    return true;
}

std::string decodeJet4Text(const unsigned char *bytes, size_t length)
{
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        const std::vector<uint16_t> units = expandCompressed(bytes + 2, length - 2);
        return utf16ToUtf8(units.data(), units.size());
    }
    std::vector<uint16_t> units(length / 2);
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return utf16ToUtf8(units.data(), units.size());
}

CodePageDecoder::CodePageDecoder(uint16_t codePage)
    : converter_(kNoConverter)
{
    if (codePage != 0) {
        char name[16];
        std::snprintf(name, sizeof name, "CP%u", unsigned(codePage));
        converter_ = iconv_open("UTF-8", name);
    }
    if (converter_ == kNoConverter)
        converter_ = iconv_open("UTF-8", "CP1252");
}

CodePageDecoder::~CodePageDecoder()
{
    if (converter_ != kNoConverter)
        iconv_close(static_cast<iconv_t>(converter_));
}

std::string CodePageDecoder::decode(const unsigned char *bytes, size_t length)
{
    std::string out;
    if (converter_ == kNoConverter) {
        for (size_t i = 0; i < length; ++i)
            appendUtf8(&out, bytes[i] < 0x80 ? bytes[i] : kReplacement);
        return out;
    }
    iconv_t converter = static_cast<iconv_t>(converter_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(reinterpret_cast<const char *>(bytes));
    size_t inLeft = length;
    std::vector<char> buffer(length * 4 + 8);
    while (inLeft > 0) {
        char *outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc != size_t(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // An undefined or cut-off byte: mark it and carry on with the next one.
        appendUtf8(&out, kReplacement);
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

} // namespace jet
} // namespace accessodbc

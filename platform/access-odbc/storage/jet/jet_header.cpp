#include "storage/jet/jet_header.h"
#include "storage/jet/jet_text.h"
#include "storage/jet/jet_values.h"

#include <cstring>
#include <utility>
#include <vector>

namespace accessodbc {
namespace jet {
namespace {

const unsigned char kJetSignature[] = "\x00\x01\x00\x00Standard Jet DB";
const unsigned char kAceSignature[] = "\x00\x01\x00\x00Standard ACE DB";
const size_t kSignatureBytes = 4 + 15 + 1; // the trailing NUL is part of it

// From 0x18 the header is RC4-encoded with a key that every Jet file shares.
const size_t kEncodedStart = 0x18;
const unsigned char kHeaderKey[] = {0xC7, 0xDA, 0x39, 0x6B};

const size_t kCodePageOffset = 0x3C;
const size_t kEncodingKeyOffset = 0x3E;
const size_t kPasswordOffset = 0x42;
// Jet 4 masks its password further with the database's creation date.
const size_t kCreationDateOffset = 0x72;

const unsigned char kTableDefinitionPage = 0x02;

size_t encodedLength(Kind kind) { return kind == Kind::Jet3 ? 126 : 128; }
size_t passwordBytes(Kind kind) { return kind == Kind::Jet3 ? 20 : 40; }
size_t longestPassword(Kind kind) { return kind == Kind::Jet3 ? 14 : 20; }

void rc4(const unsigned char *key, size_t keyLength, unsigned char *data, size_t length)
{
    unsigned char state[256];
    for (int i = 0; i < 256; ++i)
        state[i] = static_cast<unsigned char>(i);
    for (size_t i = 0, j = 0; i < 256; ++i) {
        j = (j + state[i] + key[i % keyLength]) & 0xFF;
        std::swap(state[i], state[j]);
    }
    for (size_t n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + state[i]) & 0xFF;
        std::swap(state[i], state[j]);
        data[n] ^= state[(state[i] + state[j]) & 0xFF];
    }
}

// The header with its RC4 layer removed, laid out as in the file.
std::vector<unsigned char> decodedHeader(const unsigned char *page, Kind kind)
{
    std::vector<unsigned char> header(page, page + kEncodedStart + encodedLength(kind));
    rc4(kHeaderKey, sizeof kHeaderKey, header.data() + kEncodedStart, encodedLength(kind));
    return header;
}

// Four bytes: the whole days of the creation date, little-endian.
void creationDateMask(const std::vector<unsigned char> &header, unsigned char mask[4])
{
    double created = 0;
    std::memcpy(&created, header.data() + kCreationDateOffset, sizeof created);
    const bool usable = created == created && created > -2147483648.0 && created < 2147483648.0;
    const uint32_t days = usable ? uint32_t(int32_t(created)) : 0;
    for (int i = 0; i < 4; ++i)
        mask[i] = static_cast<unsigned char>(days >> (8 * i));
}

// Masking and unmasking are the same XOR.
void toggleJet4Mask(const std::vector<unsigned char> &header, std::vector<unsigned char> *field)
{
    unsigned char mask[4];
    creationDateMask(header, mask);
    for (size_t i = 0; i < field->size(); ++i)
        (*field)[i] ^= mask[i % 4];
}

// The password field with both layers removed (Jet 4) or as stored (Jet 3).
std::vector<unsigned char> plainPasswordField(const std::vector<unsigned char> &header, Kind kind)
{
    std::vector<unsigned char> field(header.begin() + kPasswordOffset,
                                     header.begin() + kPasswordOffset + passwordBytes(kind));
    if (kind != Kind::Jet3)
        toggleJet4Mask(header, &field);
    return field;
}

std::string passwordText(const std::vector<unsigned char> &field, Kind kind, uint16_t codePage)
{
    if (kind == Kind::Jet3) {
        size_t length = 0;
        while (length < field.size() && field[length] != 0)
            ++length;
        return CodePageDecoder(codePage).decode(field.data(), length);
    }
    std::vector<uint16_t> units;
    for (size_t i = 0; i + 1 < field.size(); i += 2) {
        const uint16_t unit = littleEndian16(&field[i]);
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    return utf16ToUtf8(units.data(), units.size());
}

bool encodePasswordField(const std::string &password, Kind kind, std::vector<unsigned char> *field)
{
    field->assign(passwordBytes(kind), 0);
    if (kind == Kind::Jet3) {
        // Only plain ASCII, which reads the same in every code page.
        if (password.size() > longestPassword(kind))
            return false;
        for (size_t i = 0; i < password.size(); ++i) {
            if (static_cast<unsigned char>(password[i]) >= 0x80)
                return false;
            (*field)[i] = static_cast<unsigned char>(password[i]);
        }
        return true;
    }
    std::u16string units;
    if (!utf8ToUtf16(password, &units) || units.size() > longestPassword(kind))
        return false;
    for (size_t i = 0; i < units.size(); ++i) {
        (*field)[2 * i] = static_cast<unsigned char>(units[i] & 0xFF);
        (*field)[2 * i + 1] = static_cast<unsigned char>(units[i] >> 8);
    }
    return true;
}

} // namespace

Kind recognise(const unsigned char *bytes, size_t length)
{
    if (length < kSignatureLength)
        return Kind::NotJet;
    if (std::memcmp(bytes, kAceSignature, kSignatureBytes) == 0)
        return Kind::Ace;
    if (std::memcmp(bytes, kJetSignature, kSignatureBytes) != 0)
        return Kind::NotJet;
    switch (bytes[kVersionOffset]) {
    case 0:
        return Kind::Jet3;
    case 1:
        return Kind::Jet4;
    default:
        // ACE writes its own signature; a Jet one with any other version is damaged.
        return Kind::UnknownJetVersion;
    }
}

size_t pageSize(Kind kind) { return kind == Kind::Jet3 ? kJet3PageSize : kJet4PageSize; }

bool readHeader(const unsigned char *page, size_t length, Kind kind, Header *out)
{
    if (kind == Kind::NotJet || length < pageSize(kind))
        return false;
    const std::vector<unsigned char> header = decodedHeader(page, kind);
    Header result;
    result.kind = kind;
    result.codePage = littleEndian16(&header[kCodePageOffset]);
    result.encodingKey = littleEndian32(&header[kEncodingKeyOffset]);
    result.password = passwordText(plainPasswordField(header, kind), kind, result.codePage);
    *out = result;
    return true;
}

bool pagesEncrypted(const unsigned char *bytes, size_t length, const Header &header)
{
    // Jet 4's own page encoding (a non-zero key) is undone by libmdb; only the rest counts.
    const size_t catalogPage = 2 * pageSize(header.kind);
    if (header.encodingKey != 0 || length < catalogPage + 2)
        return false;
    return bytes[catalogPage] != kTableDefinitionPage || bytes[catalogPage + 1] != 0x01;
}

bool passwordMatches(const Header &header, const std::string &password)
{
    return header.password.empty() || header.password == password;
}

bool writePassword(unsigned char *page, size_t length, Kind kind, const std::string &password)
{
    if ((kind != Kind::Jet3 && kind != Kind::Jet4) || length < pageSize(kind))
        return false;
    std::vector<unsigned char> field;
    if (!encodePasswordField(password, kind, &field))
        return false;
    std::vector<unsigned char> header = decodedHeader(page, kind);
    if (kind == Kind::Jet4)
        toggleJet4Mask(header, &field);
    std::memcpy(header.data() + kPasswordOffset, field.data(), field.size());
    rc4(kHeaderKey, sizeof kHeaderKey, header.data() + kEncodedStart, encodedLength(kind));
    std::memcpy(page, header.data(), header.size());
    return true;
}

} // namespace jet
} // namespace accessodbc

#include "storage/jet/jet_properties.h"
#include "storage/jet/jet_handles.h"
#include "storage/jet/jet_values.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace accessodbc {
namespace jet {
namespace {

const unsigned kNamesRecord = 0x80;
const size_t kRecordHead = 6;   // its length (4 bytes) and its type (2)
const size_t kValueHead = 8;    // its length (2), a flag, its type, its name's number (2), its size (2)

// How many bytes libmdb reads for a value of the type, whatever size the value gives.
size_t bytesRead(int type, size_t size)
{
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_COMPLEX:
    case MDB_FLOAT:
        return 4;
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    default:
        return size;
    }
}

// The names record: each name is its length (2 bytes) and its characters.
bool namesWalkable(const unsigned char *body, size_t length, size_t *count)
{
    size_t pos = 0;
    *count = 0;
    while (pos < length) {
        if (length - pos < 2)
            return false;
        const size_t nameLength = littleEndian16(body + pos);
        pos += 2;
        if (nameLength > length - pos)
            return false;
        pos += nameLength;
        ++*count;
    }
    return true;
}

// A values record: a head with the block's name, then the values one after another.
// libmdb keeps them by name and loses the first of two values under one name.
bool valuesWalkable(const unsigned char *body, size_t length, size_t names)
{
    std::vector<bool> named(names, false);
    if (length < kRecordHead)
        return false;
    const size_t nameLength = littleEndian16(body + 4);
    if (nameLength > length - kRecordHead)
        return false;
    size_t pos = kRecordHead + nameLength;
    while (pos < length) {
        if (length - pos < kValueHead)
            return false;
        const size_t valueLength = littleEndian16(body + pos);
        const int type = body[pos + 3];
        const size_t name = littleEndian16(body + pos + 4);
        const size_t size = littleEndian16(body + pos + 6);
        // libmdb stops at the first value it cannot place; what follows is never read.
        if (name >= names || size > length - pos - kValueHead)
            return true;
        // A Currency value is read from the page libmdb last read, not from the block.
        if (type == MDB_MONEY || valueLength == 0 || bytesRead(type, size) > length - pos - kValueHead || named[name])
            return false;
        named[name] = true;
        pos += valueLength;
    }
    return true;
}

} // namespace

bool propertyBlockWalkable(const unsigned char *block, size_t length)
{
    if (length < 4 || (std::memcmp(block, "KKD", 4) != 0 && std::memcmp(block, "MR2", 4) != 0))
        return false;
    size_t names = 0;
    bool named = false;
    size_t pos = 4;
    while (pos < length) {
        if (length - pos < kRecordHead)
            return false;
        const size_t recordLength = littleEndian32(block + pos);
        const unsigned type = littleEndian16(block + pos + 4);
        if (recordLength < kRecordHead || recordLength > length - pos)
            return false;
        const unsigned char *body = block + pos + kRecordHead;
        const size_t bodyLength = recordLength - kRecordHead;
        if (type == kNamesRecord) {
            if (!namesWalkable(body, bodyLength, &names))
                return false;
            named = true;
        } else if (type <= 2 && named && !valuesWalkable(body, bodyLength, names)) {
            return false;
        }
        pos += recordLength;
    }
    return true;
}

} // namespace jet
} // namespace accessodbc

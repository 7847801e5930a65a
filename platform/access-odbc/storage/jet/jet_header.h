#pragma once

// The first page of a Jet database: which engine wrote it, how big its pages are, and
// the database password it carries. Everything here works on bytes only, before any
// page is handed to libmdb.

#include <cstddef>
#include <cstdint>
#include <string>

namespace accessodbc {
namespace jet {

// ACE files (Access 2007 and later) keep Jet 4's page size, header and text forms.
// UnknownJetVersion: a Jet signature with a version byte that no Jet engine writes.
enum class Kind { NotJet, Jet3, Jet4, Ace, UnknownJetVersion };

// Jet 3 pages are 2 KiB, Jet 4 pages 4 KiB.
const size_t kJet3PageSize = 2048;
const size_t kJet4PageSize = 4096;

// Tells a Jet file from anything else by its first bytes; needs kSignatureLength of them.
const size_t kSignatureLength = 0x15;
// The byte after the signature: 0 for Jet 3, 1 for Jet 4.
const size_t kVersionOffset = 0x14;
Kind recognise(const unsigned char *bytes, size_t length);

size_t pageSize(Kind kind);

struct Header {
    Kind kind = Kind::NotJet;
    uint16_t codePage = 0;
    // Non-zero when every page but the first is RC4-encoded with this key.
    uint32_t encodingKey = 0;
    // UTF-8; empty when the database has no password.
    std::string password;
};

// Reads the header page (at least pageSize(kind) bytes). Fails on a page that is too short.
bool readHeader(const unsigned char *page, size_t length, Kind kind, Header *out);

// Whether the pages after the header are encrypted as a whole, as Access 2007 and later do
// for a database with a password: the catalog's table definition, always on the third
// page, then no longer reads as one. Needs the whole file and its header.
bool pagesEncrypted(const unsigned char *bytes, size_t length, const Header &header);

// Access compares database passwords as they are written, case included.
bool passwordMatches(const Header &header, const std::string &password);

// The inverse of readHeader for the password field: lets tests build protected files
// from unprotected ones. Passwords longer than Access allows (13 characters in Jet 3,
// 20 in Jet 4) are refused.
bool writePassword(unsigned char *page, size_t length, Kind kind, const std::string &password);

} // namespace jet
} // namespace accessodbc

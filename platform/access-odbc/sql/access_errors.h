#pragma once

// Access's own messages with the SQLSTATE and the native error number Access reports each
// with. Applications match on these texts and numbers, so each is written once, here.

#include <string>

namespace accessodbc {

enum class AccessError {
    ReadOnly,           // a statement that would write
    QueryRefused,       // the translator refused a statement; its message is the text
    SqlSyntax,          // SQLite refused a translated statement; its message is the argument
    TextAfterStatement, // a second statement after the first
    FileNotFound,       // the argument is the path, in this and the next three
    CannotOpen,
    UnrecognizedFormat,
    FileInUse,
    WrongPassword,
    UndefinedFunction, // the argument is the function's name
    TooFewParameters,  // the argument is how many values the statement expects
    MissingTable,      // the argument is the table's name
};

struct AccessErrorEntry {
    const char *sqlState;
    int nativeError;
    const char *text; // "%1" stands for the argument
};

const AccessErrorEntry &accessError(AccessError error);

// The error's text with its argument put in.
std::string accessErrorText(AccessError error, const std::string &argument = std::string());

} // namespace accessodbc

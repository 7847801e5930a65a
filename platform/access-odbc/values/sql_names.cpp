#include "values/sql_names.h"

namespace accessodbc {
namespace {

std::string quotedWith(const std::string &text, char quote)
{
    std::string quoted(1, quote);
    for (char c : text) {
        quoted += c;
        if (c == quote)
            quoted += quote;
    }
    return quoted + quote;
}

} // namespace

std::string quotedIdentifier(const std::string &name) { return quotedWith(name, '"'); }

std::string quotedText(const std::string &text) { return quotedWith(text, '\''); }

} // namespace accessodbc

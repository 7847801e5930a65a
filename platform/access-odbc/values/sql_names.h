#pragma once

#include <string>

namespace accessodbc {

// A name as SQLite reads it whatever it holds: in double quotes, a quote inside doubled.
// For the statements the driver writes itself (tables and views it creates, the
// schema it reads); a value never goes into SQL text this way.
std::string quotedIdentifier(const std::string &name);

// A text literal of a statement's own text, in single quotes, a quote inside doubled.
std::string quotedText(const std::string &text);

} // namespace accessodbc

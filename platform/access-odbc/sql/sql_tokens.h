#pragma once

// Access SQL split into tokens. The tokenizer knows the lexical forms Access uses:
// 'text' and "text" literals with doubled quotes inside, [bracketed names], `quoted names`,
// #date# literals, numbers, names, operators and ? markers; comments are dropped.

#include <string>
#include <vector>

namespace accessodbc {
namespace sql {

enum class TokenType { Name, QuotedName, String, Date, Number, Parameter, Symbol, End };

struct Token {
    TokenType type = TokenType::End;
    std::string text;  // as written, quotes and brackets included
    std::string value; // a name without its brackets, a literal's contents, a symbol
    size_t offset = 0; // where the token starts in the statement
};

struct TokenizeResult {
    std::vector<Token> tokens; // always ends with an End token
    std::string error;         // Access's message when the text cannot be split
};

TokenizeResult tokenize(const std::string &statement);

// Names compare without regard to case, as Access treats them.
bool sameName(const std::string &a, const std::string &b);

} // namespace sql
} // namespace accessodbc

#include "sql/sql_tokens.h"


namespace accessodbc {
namespace sql {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Any byte of a multi-byte UTF-8 sequence may be part of a name, so names in any script work.
bool startsName(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool continuesName(char c) { return startsName(c) || isDigit(c) || c == '$'; }

class Tokenizer {
public:
    explicit Tokenizer(const std::string &text) : text_(text) {}

    TokenizeResult run()
    {
        TokenizeResult result;
        while (result.error.empty()) {
            skipBlanksAndComments();
            if (!error_.empty())
                break;
            if (pos_ >= text_.size()) {
                Token end;
                end.offset = text_.size();
                result.tokens.push_back(end);
                break;
            }
            Token token;
            if (!next(&token))
                break;
            result.tokens.push_back(std::move(token));
        }
        result.error = error_;
        return result;
    }

private:
    const std::string &text_;
    size_t pos_ = 0;
    std::string error_;

    char at(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

    void skipBlanksAndComments()
    {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (c == '-' && at(pos_ + 1) == '-') {
                const size_t end = text_.find('\n', pos_);
                pos_ = end == std::string::npos ? text_.size() : end + 1;
            } else if (c == '/' && at(pos_ + 1) == '*') {
                const size_t end = text_.find("*/", pos_ + 2);
                if (end == std::string::npos) {
                    error_ = "Syntax error in query. Incomplete query clause.";
                    return;
                }
                pos_ = end + 2;
            } else {
                return;
            }
        }
    }

    bool next(Token *token)
    {
        token->offset = pos_;
        const char c = text_[pos_];
        if (c == '\'' || c == '"')
            return quoted(token, c, TokenType::String);
        if (c == '`')
            return quoted(token, c, TokenType::QuotedName);
        if (c == '[')
            return bracketed(token);
        if (c == '#')
            return dateLiteral(token);
        if (isDigit(c) || (c == '.' && isDigit(at(pos_ + 1))))
            return number(token);
        if (startsName(c))
            return name(token);
        return symbol(token);
    }

    // A doubled quote stands for one quote inside the literal.
    bool quoted(Token *token, char quote, TokenType type)
    {
        std::string value;
        size_t i = pos_ + 1;
        for (;;) {
            if (i >= text_.size()) {
                error_ = type == TokenType::String
                             ? "Syntax error in string in query expression '" + text_.substr(pos_) + "'."
                             : "Invalid use of quotes in name '" + text_.substr(pos_) + "'.";
                return false;
            }
            if (text_[i] == quote) {
                if (at(i + 1) != quote)
                    break;
                ++i;
            }
            value += text_[i++];
        }
        finish(token, type, i + 1, value);
        return true;
    }

    bool bracketed(Token *token)
    {
        const size_t end = text_.find(']', pos_ + 1);
        if (end == std::string::npos || text_.find('[', pos_ + 1) < end) {
            error_ = "Invalid bracketing of name '" + text_.substr(pos_, end == std::string::npos ? std::string::npos
                                                                                               : end + 1 - pos_) + "'.";
            return false;
        }
        finish(token, TokenType::QuotedName, end + 1, text_.substr(pos_ + 1, end - pos_ - 1));
        return true;
    }

    bool dateLiteral(Token *token)
    {
        const size_t end = text_.find('#', pos_ + 1);
        if (end == std::string::npos) {
            error_ = "Syntax error in date in query expression '" + text_.substr(pos_) + "'.";
            return false;
        }
        finish(token, TokenType::Date, end + 1, text_.substr(pos_ + 1, end - pos_ - 1));
        return true;
    }

    bool number(Token *token)
    {
        size_t i = pos_;
        while (isDigit(at(i)))
            ++i;
        if (at(i) == '.') {
            ++i;
            while (isDigit(at(i)))
                ++i;
        }
        if ((at(i) == 'e' || at(i) == 'E')
            && (isDigit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && isDigit(at(i + 2))))) {
            i += 2;
            while (isDigit(at(i)))
                ++i;
        }
        finish(token, TokenType::Number, i, text_.substr(pos_, i - pos_));
        return true;
    }

    bool name(Token *token)
    {
        size_t i = pos_;
        while (i < text_.size() && continuesName(text_[i]))
            ++i;
        finish(token, TokenType::Name, i, text_.substr(pos_, i - pos_));
        return true;
    }

    bool symbol(Token *token)
    {
        static const char *const twoCharacter[] = {"<>", "<=", ">="};
        for (const char *op : twoCharacter) {
            if (text_.compare(pos_, 2, op) == 0) {
                finish(token, TokenType::Symbol, pos_ + 2, op);
                return true;
            }
        }
        const char c = text_[pos_];
        if (c == '?') {
            finish(token, TokenType::Parameter, pos_ + 1, "?");
            return true;
        }
        // Any other character is a symbol of its own that no rule of the grammar takes, so
        // the parser reports it within the expression it stands in.
        finish(token, TokenType::Symbol, pos_ + 1, std::string(1, c));
        return true;
    }

    void finish(Token *token, TokenType type, size_t end, std::string value)
    {
        token->type = type;
        token->text = text_.substr(pos_, end - pos_);
        token->value = std::move(value);
        pos_ = end;
    }
};

char lowered(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

} // namespace

TokenizeResult tokenize(const std::string &statement)
{
    return Tokenizer(statement).run();
}

bool sameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowered(a[i]) != lowered(b[i]))
            return false;
    }
    return true;
}

} // namespace sql
} // namespace accessodbc

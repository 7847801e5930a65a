#include "odbc/connection_string.h"

#include <cctype>

namespace accessodbc {
namespace {

std::string trimmed(const std::string &text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string upper(std::string text)
{
    for (char &c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Reads a braced value starting at the opening brace; pos ends after the closing one.
bool readBraced(const std::string &text, size_t &pos, std::string *value)
{
    ++pos;
    while (pos < text.size()) {
        if (text[pos] == '}') {
            if (pos + 1 < text.size() && text[pos + 1] == '}') {
                value->push_back('}');
                pos += 2;
                continue;
            }
            ++pos;
            return true;
        }
        value->push_back(text[pos++]);
    }
    return false;
}

} // namespace

bool parseConnectionString(const std::string &text, ConnectionAttributes *out, std::string *error)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t equals = text.find('=', pos);
        const size_t semicolon = text.find(';', pos);
        if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
            // A segment without "=" carries no attribute; skip it.
            if (semicolon == std::string::npos)
                break;
            pos = semicolon + 1;
            continue;
        }
        const std::string key = upper(trimmed(text.substr(pos, equals - pos)));
        pos = equals + 1;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;

        std::string value;
        if (pos < text.size() && text[pos] == '{') {
            if (!readBraced(text, pos, &value)) {
                *error = "The value of " + key + " opens a brace that is never closed.";
                return false;
            }
            const size_t next = text.find(';', pos);
            pos = next == std::string::npos ? text.size() : next + 1;
        } else {
            const size_t next = text.find(';', pos);
            const size_t end = next == std::string::npos ? text.size() : next;
            value = trimmed(text.substr(pos, end - pos));
            pos = next == std::string::npos ? text.size() : next + 1;
        }
        // The first occurrence of a key wins, as with the driver manager.
        if (!key.empty())
            out->emplace(key, value);
    }
    return true;
}

} // namespace accessodbc

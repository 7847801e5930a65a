#include "sql/access_errors.h"

namespace accessodbc {
namespace {

// In the order of AccessError.
const AccessErrorEntry kErrors[] = {
    {"HY000", -3073, "Cannot update. Database or object is read-only."},
    {"42000", -3100, "%1"},
    {"42000", -3500, "Syntax error: %1."},
    {"42000", -3510, "Characters found after end of SQL statement."},
    {"HY024", -1811, "Could not find file '%1'."},
    {"HY000", -1032, "Could not open file '%1'."},
    {"HY000", -1206, "Unrecognized database format '%1'."},
    {"HY000", -1032, "Could not use '%1'; file already in use."},
    {"28000", -1905, "Not a valid password."},
    {"42000", -3102, "Undefined function '%1' in expression."},
    {"07002", -3010, "Too few parameters. Expected %1."},
    {"42S02", -1305,
     "The Microsoft Access database engine cannot find the input table or query '%1'. Make sure it exists and that its "
     "name is spelled correctly."},
};

} // namespace

const AccessErrorEntry &accessError(AccessError error) { return kErrors[int(error)]; }

std::string accessErrorText(AccessError error, const std::string &argument)
{
    std::string text = accessError(error).text;
    const size_t marker = text.find("%1");
    if (marker != std::string::npos)
        text.replace(marker, 2, argument);
    return text;
}

} // namespace accessodbc

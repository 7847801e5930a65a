// Access compares and sorts text by its General sort order: without regard to case, and
// with accented letters after their base letters rather than after the whole alphabet
// ("Pâté" before "Pavlova"). ICU's root collation at secondary strength is that order:
// letters first, then accents, while case (the third level) is left out. Text is
// compared in its normalised form, so a composed é equals e followed by a combining acute.

#include "sql/access_function_support.h"
#include "sql/access_functions.h"

#include <unicode/ucol.h>

#include <cstring>

namespace accessodbc {

const char kTextCollation[] = "fw_text";

namespace {

int byteOrder(int lengthA, const void *a, int lengthB, const void *b)
{
    const int common = std::memcmp(a, b, size_t(lengthA < lengthB ? lengthA : lengthB));
    return common != 0 ? common : lengthA - lengthB;
}

int compareText(void *collator, int lengthA, const void *a, int lengthB, const void *b)
{
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult order = ucol_strcollUTF8(static_cast<UCollator *>(collator), static_cast<const char *>(a),
                                                    lengthA, static_cast<const char *>(b), lengthB, &status);
    // ICU reads ill-formed UTF-8 as replacement characters and does not fail on it; should
    // it fail all the same, the bytes still give an order that SQLite can rely on.
    return U_FAILURE(status) ? byteOrder(lengthA, a, lengthB, b) : int(order);
}

void closeCollator(void *collator) { ucol_close(static_cast<UCollator *>(collator)); }

} // namespace

// One collator per database handle: a handle is used by one thread at a time, and an ICU
// collator is not to be shared between threads that compare at once.
bool registerTextOrder(sqlite3 *db)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator *collator = ucol_open("", &status);
    if (U_FAILURE(status))
        return false;
    ucol_setStrength(collator, UCOL_SECONDARY);
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status)
        || sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, collator, compareText, closeCollator)
               != SQLITE_OK) {
        ucol_close(collator);
        return false;
    }
    return true;
}

} // namespace accessodbc

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

UCollator *openTextCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator *collator = ucol_open("", &status);
    if (U_FAILURE(status))
        return nullptr;
    ucol_setStrength(collator, UCOL_SECONDARY);
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status)) {
        ucol_close(collator);
        return nullptr;
    }
    return collator;
}

// StrComp(text1, text2[, compare]): -1, 0 or 1 as text1 sorts before, with or after text2,
// in the order text sorts in, or by characters (UTF-8's byte order is theirs) when compare is 0.
void strComp(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    bool caseless = true;
    if (!ignoresCase(context, argc, argv, 2, &caseless) || resultNullFor(context, argv[0])
        || resultNullFor(context, argv[1]))
        return;
    const std::string a = textOf(argv[0]), b = textOf(argv[1]);
    const int order = caseless ? compareText(sqlite3_user_data(context), int(a.size()), a.data(), int(b.size()), b.data())
                               : byteOrder(int(a.size()), a.data(), int(b.size()), b.data());
    sqlite3_result_int(context, order < 0 ? -1 : order > 0 ? 1 : 0);
}

bool registerStrComp(sqlite3 *db, int argumentCount)
{
    UCollator *collator = openTextCollator();
    if (!collator)
        return false;
    const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | SQLITE_DETERMINISTIC;
    // SQLite closes the collator itself when registering fails.
    return sqlite3_create_function_v2(db, "fw_strcomp", argumentCount, flags, collator, strComp, nullptr, nullptr,
                                      closeCollator)
           == SQLITE_OK;
}

} // namespace

// One collator per database handle: a handle is used by one thread at a time, and an ICU
// collator is not to be shared between threads that compare at once.
bool registerTextOrder(sqlite3 *db)
{
    UCollator *collator = openTextCollator();
    if (!collator)
        return false;
    if (sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, collator, compareText, closeCollator)
        != SQLITE_OK) {
        ucol_close(collator);
        return false;
    }
    return registerStrComp(db, 2) && registerStrComp(db, 3);
}

} // namespace accessodbc

// Currency arithmetic on exact counts of ten-thousandths: the translator sends sums,
// differences and products of Currency values here instead of through SQLite's doubles.

#include "sql/access_function_support.h"
#include "values/numbers.h"

#include <sqlite3.h>

namespace accessodbc {
namespace {

// A stored Currency is the double nearest its decimal (read back through Access's
// 15 significant digits), or the exact decimal as text; an integer is a whole amount.
bool currencyArgument(sqlite3_context *context, sqlite3_value *value, int64_t *out)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
        const sqlite3_int64 whole = sqlite3_value_int64(value);
        if (__builtin_mul_overflow(whole, int64_t(10000), out)) {
            sqlite3_result_error(context, kOverflow, -1);
            return false;
        }
        return true;
    }
    default: {
        const std::string text =
            sqlite3_value_type(value) == SQLITE_FLOAT ? formatAccessDouble(sqlite3_value_double(value)) : valueText(value);
        bool overflow = false;
        if (currencyFromText(text, out, &overflow))
            return true;
        sqlite3_result_error(context, overflow ? kOverflow : kTypeMismatch, -1);
        return false;
    }
    }
}

void resultCurrency(sqlite3_context *context, int64_t tenThousandths)
{
    if (currencyFitsDouble(tenThousandths))
        sqlite3_result_double(context, currencyValue(tenThousandths));
    else
        resultText(context, currencyText(tenThousandths));
}

bool bothArguments(sqlite3_context *context, sqlite3_value **argv, int64_t *a, int64_t *b)
{
    if (isNull(argv[0]) || isNull(argv[1])) {
        sqlite3_result_null(context);
        return false;
    }
    return currencyArgument(context, argv[0], a) && currencyArgument(context, argv[1], b);
}

// fw_cur_add(a, b, sign): a + b, or a - b for sign -1.
void add(sqlite3_context *context, int, sqlite3_value **argv)
{
    int64_t a = 0, b = 0, sum = 0;
    if (!bothArguments(context, argv, &a, &b))
        return;
    const bool overflow = sqlite3_value_int(argv[2]) < 0 ? __builtin_sub_overflow(a, b, &sum)
                                                         : __builtin_add_overflow(a, b, &sum);
    if (overflow)
        sqlite3_result_error(context, kOverflow, -1);
    else
        resultCurrency(context, sum);
}

// The product keeps four places, the fifth and beyond rounded half to even. It is worked out
// on the magnitudes in parts that fit 64 bits, as no 32-bit compiler has a 128-bit integer:
// with a = ah * 10^4 + al and b = bh * 10^4 + bl, a * b / 10^4 = a * bh + ah * bl + al * bl / 10^4.
void multiply(sqlite3_context *context, int, sqlite3_value **argv)
{
    int64_t a = 0, b = 0;
    if (!bothArguments(context, argv, &a, &b))
        return;
    const bool negative = (a < 0) != (b < 0);
    const uint64_t ua = a < 0 ? 0 - uint64_t(a) : uint64_t(a);
    const uint64_t ub = b < 0 ? 0 - uint64_t(b) : uint64_t(b);
    const uint64_t low = (ua % 10000) * (ub % 10000);
    uint64_t whole = 0, quotient = 0;
    bool overflow = __builtin_mul_overflow(ua, ub / 10000, &whole)
        || __builtin_add_overflow(whole, (ua / 10000) * (ub % 10000), &quotient)
        || __builtin_add_overflow(quotient, low / 10000, &quotient);
    const uint64_t twice = 2 * (low % 10000);
    if (!overflow && (twice > 10000 || (twice == 10000 && quotient % 2 != 0)))
        overflow = __builtin_add_overflow(quotient, 1, &quotient);
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    if (overflow || quotient > limit)
        sqlite3_result_error(context, kOverflow, -1);
    else
        resultCurrency(context, negative ? int64_t(0 - quotient) : int64_t(quotient));
}

struct SumState {
    bool any = false;
    bool failed = false;
    int64_t total = 0;
};

void sumStep(sqlite3_context *context, int, sqlite3_value **argv)
{
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, sizeof(SumState)));
    if (!state) {
        sqlite3_result_error_nomem(context);
        return;
    }
    if (state->failed || isNull(argv[0]))
        return;
    int64_t amount = 0;
    if (!currencyArgument(context, argv[0], &amount)) {
        state->failed = true;
        return;
    }
    state->any = true;
    if (__builtin_add_overflow(state->total, amount, &state->total)) {
        state->failed = true;
        sqlite3_result_error(context, kOverflow, -1);
    }
}

void sumFinal(sqlite3_context *context)
{
    auto *state = static_cast<SumState *>(sqlite3_aggregate_context(context, 0));
    if (state && state->failed)
        return;
    if (!state || !state->any)
        sqlite3_result_null(context);
    else
        resultCurrency(context, state->total);
}

const FunctionEntry kFunctions[] = {
    {"fw_cur_add", 3, add, true, 0},
    {"fw_cur_mul", 2, multiply, true, 0},
};

} // namespace

bool registerCurrencyFunctions(sqlite3 *db)
{
    return registerFunctions(db, kFunctions)
        && sqlite3_create_function(db, "fw_cur_sum", 1, SQLITE_UTF8 | SQLITE_INNOCUOUS | SQLITE_DETERMINISTIC,
                                   nullptr, nullptr, sumStep, sumFinal) == SQLITE_OK;
}

} // namespace accessodbc

#pragma once
// Strings that writers of text get wrong: every UTF-16 unit, surrogates paired and alone,
// controls, quotes, backslashes, the null and the empty string.
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <initializer_list>

QString units(std::initializer_list<ushort> codes);
// Every UTF-16 unit alone, so each control character, the quote, the backslash, every
// non-ASCII character and every lone surrogate comes once.
QStringList everyUnitAlone();
QStringList surrogateCases();
// Units drawn mostly from the awkward places: controls, quote, backslash, surrogates.
QString randomString(QRandomGenerator &random);
// The strings cut into rows of `columns` values, the last one padded with null strings.
QList<QStringList> rowsOf(const QStringList &strings, int columns);

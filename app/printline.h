#pragma once

#include <QString>

#include <cstdio>

// Text of a command-line mode, handed on at once: a pipe or a terminal sees each step as it
// happens, not only at the end. On Windows a console is given the text as it shows it, through
// WriteConsoleW, so that a path in any script prints as it is; a pipe or a file gets UTF-8. On
// Unix the text goes in the locale's encoding.
void printText(FILE *stream, const QString &text);

inline void printLine(FILE *stream, const QString &line)
{
    printText(stream, line + QLatin1Char('\n'));
}

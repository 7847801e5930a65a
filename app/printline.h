#pragma once

#include <QString>

#include <cstdio>

// One line of a command-line mode, in the system's encoding, handed on at once: a pipe or a
// terminal sees each step as it happens, not only at the end.
inline void printLine(FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().append('\n').constData(), stream);
    std::fflush(stream);
}

#pragma once

#include <QString>
#include <QStringList>

// Everything that sets one extraction apart; the frame that runs them is written once.
struct ExtractionKind
{
    QString operation;   // "pointData": the name in the start and end lines
    QString word;        // "point": the word before "sendData"
    QString query;       // sent verbatim to the guard-tour database
    QStringList columns; // read by name, in this order
    QStringList keys;    // JSON key of each column, same order
    QString rowLine;     // log line per row, %1.. standing for the values in column order
    int placeColumn;     // column read as an integer by the place rule, or -1

    static const ExtractionKind &checkpoints();
    static const ExtractionKind &routeStops();
    static const ExtractionKind &plans();
};

// The place rule: 0 (also NULL or a text that is no whole number) is no place, otherwise its decimal text.
QString placeText(int place);

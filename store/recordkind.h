#pragma once

#include <QString>
#include <QStringList>

// Everything that sets one kind of record apart, in one table: how the sync reads it from
// the guard-tour database, where its channel posts it and records the answers, and the
// snapshot table that keeps the last read in fernwick.db. The code that reads, posts and
// keeps is written once for every kind.
struct RecordKind
{
    // Reading. The evaluations are never read, so their query is empty.
    QString operation;   // "pointData": the name in the start and end lines
    QString word;        // "point": the word before "sendData"
    QString query;       // sent verbatim to the guard-tour database
    QStringList columns; // read by name, in this order
    QStringList keys;    // JSON key of each column, same order
    QString rowLine;     // log line per row, %1.. standing for the values in column order
    int placeColumn;     // column read as an integer by the place rule, or -1

    // Posting.
    QString settingsKey;     // key in sys.ini's general section holding the endpoint URL
    QString responsePattern; // daily response file, "%1%2%3" standing for yyyy, MM, dd

    // Keeping.
    QString table;           // snapshot table in fernwick.db
    QString createStatement;
    QString insertStatement; // one "?" per column
    bool timeStamped;        // the last column is the time the row was written

    static const RecordKind &checkpoints();
    static const RecordKind &routeStops();
    static const RecordKind &plans();
    // Plan status: posted and kept like the others, but nothing in the sync reads it.
    static const RecordKind &evaluations();
};

// The place rule: 0 (also NULL or a text that is no whole number) is no place, otherwise its decimal text.
QString placeText(int place);

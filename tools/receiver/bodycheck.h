#pragma once

#include "recordkinds.h"

#include <QByteArray>
#include <QString>

struct BodyVerdict {
    bool accepted = false;
    int recordCount = 0;
    QString reason;
};

// Checks a raw request body of the form key=<JSON array>. The body is taken
// exactly as it arrived: the client does not percent-encode it, so it must not
// be url-decoded here either.
BodyVerdict checkBody(const RecordKind &kind, const QByteArray &body);

#pragma once

#include "upload/uploadchannel.h"

// Route stops: posted to LINE_HTTPURL, snapshot in orva_line_data.
class LineThread : public UploadChannel
{
    Q_OBJECT
public:
    explicit LineThread(QObject *parent);
};

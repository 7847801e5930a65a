#pragma once

#include "upload/uploadchannel.h"

// Checkpoints: posted to POINT_HTTPURL, snapshot in orva_point_data.
class PointThread : public UploadChannel
{
    Q_OBJECT
public:
    explicit PointThread(QObject *parent);
};

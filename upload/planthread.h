#pragma once

#include "upload/uploadchannel.h"

// Plans: posted to PLAN_HTTPURL, snapshot in orva_plan_data.
class PlanThread : public UploadChannel
{
    Q_OBJECT
public:
    explicit PlanThread(QObject *parent);
};

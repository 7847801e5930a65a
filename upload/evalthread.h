#pragma once

#include "upload/uploadchannel.h"

// Evaluation data (plan status): posted to PLANSTATUS_HTTPURL, snapshot in orva_eval_data.
// Its table is emptied when the channel is made.
class EvalThread : public UploadChannel
{
    Q_OBJECT
public:
    explicit EvalThread(QObject *parent);
};

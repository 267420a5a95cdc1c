#pragma once
// Limits of the remote update operations (getUrl, ExecuteApplication) that the
// configuration does not set. Process-wide; tests shorten them.

#include "support/HttpGet.h"
#include "support/ProcessRunner.h"

struct RemoteUpdateLimits {
    HttpGetLimits http;
    ProcessLimits process;
};

RemoteUpdateLimits getRemoteUpdateLimits();
void setRemoteUpdateLimits(const RemoteUpdateLimits& limits);

#pragma once
// Puts the engine-wide fetch limits back as they were when a test that shortened them ends.

#include "CurlSupport.h"

struct FetchLimitsGuard {
    TFetchLimits Saved = FetchLimits();
    ~FetchLimitsGuard() { FetchLimits() = Saved; }
};

// Where a failed call ends the run. The floors below return failures; here each is written to the
// support log once and becomes the result the window shows.
#pragma once

#include <string>

#include "bootstrap/vocabulary/failure.h"
#include "bootstrap/vocabulary/setup_outcome.h"

namespace setup {

// The failure through the log's funnel, then the run's result for it (SetupResult::OfFailure, with
// the system's text for the code). where: the request's URL, or the installer's path for
// kFileError and kHoldError.
SetupResult FailedRun(SetupRequest request, SetupOutcome outcome, const Failure& failure,
                      std::wstring where);

}  // namespace setup

#include "bootstrap/run/run_failure.h"

#include <utility>

#include "bootstrap/log/support_log.h"
#include "bootstrap/vocabulary/system_error_text.h"

namespace setup {

SetupResult FailedRun(SetupRequest request, SetupOutcome outcome, const Failure& failure,
                      std::wstring where) {
  support_log::WriteFailure(failure);
  return SetupResult::OfFailure(request, outcome, failure, std::move(where),
                                ErrorCodeText(failure.code));
}

}  // namespace setup

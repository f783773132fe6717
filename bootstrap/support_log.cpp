// Placeholder until the support log lands: every line is dropped.
#include "bootstrap/support_log.h"

namespace setup::support_log {

void Start(const std::wstring&) {}
void Write(std::wstring_view) {}
void Stop() {}

}  // namespace setup::support_log

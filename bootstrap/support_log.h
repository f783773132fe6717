// The support log: %TEMP%\Setup.log, so that a run that fails on a customer's machine says why.
// UTF-8, replaced by each run, created the way the installer is (never through a planted link).
// Logging never stops the run: a log that cannot be created or written is silently given up.
// Safe from any thread (the network requests run on workers). Never give it credentials.
#pragma once

#include <string>
#include <string_view>

namespace setup::support_log {

// Creates (replaces) Setup.log in the folder (a path ending in a backslash) and writes the header:
// Setup's version, the Windows version, the ANSI code page and the temporary folder. Once per run;
// lines written before it are kept and written first.
void Start(const std::wstring& temp_folder);

// One line, prefixed with the milliseconds since the program started: "[   1234 ms] text".
void Write(std::wstring_view text);

// Closes the file (written lines are already on disk).
void Stop();

}  // namespace setup::support_log

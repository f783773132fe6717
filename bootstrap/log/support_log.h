// The support log: %TEMP%\Setup.log, so that a run that fails on a customer's machine says why.
// UTF-8 with a byte order mark (without one, PowerShell 5's Get-Content and Notepad before Windows
// 10 1903 read it as ANSI), CR LF line ends, replaced by each run, created the way the installer is
// (never through a planted link), and readable by others while Setup still runs.
// Logging never stops the run: a log that cannot be created or written is silently given up.
// Safe from any thread (the network requests run on workers). Never give it credentials.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "bootstrap/vocabulary/failure.h"

namespace setup::support_log {

// Creates (replaces) Setup.log in the folder (a path ending in a backslash) and writes the header:
// Setup's version, the Windows version, the ANSI code page, the language and the
// folder. Once per run. The first 64 lines written before it follow the header, with their own
// times; later ones before it are counted only.
void Start(const std::wstring& temp_folder);

// One line, prefixed with the milliseconds since the program started: "[   1234 ms] text".
// Control characters are escaped so that the text stays on its line; a very long text is cut (see
// bootstrap/support_log_text.h). Each line is on disk when Write returns. URLs go through
// RedactedUrl first.
void Write(std::wstring_view text);

// One line of several pieces, joined inside the log: building a line never costs the caller a
// temporary string, nor an error. Numbers as DecimalPiece (framework/text.h).
void Write(std::initializer_list<std::wstring_view> pieces);

// The funnel every failed call passes once, where the run meets it (FailedRun, the installer's
// I/O error, its start): its line with the call, the system's text and the code (FailureLogText).
// The floors below the log return failures and never write them.
void WriteFailure(const Failure& failure);

// Closes the file (written lines are already on disk). Later lines are dropped.
void Stop();

// Tests only: forgets this run's log (closes the file, drops the kept lines) so that the next
// Start acts as the next run's.
void ResetForTesting();

}  // namespace setup::support_log

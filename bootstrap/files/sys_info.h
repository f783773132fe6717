// What the setup window asks of the system: the temporary directory with long names.
#pragma once

#include <string>

namespace setup {

class TSysInfo {
 public:
  // GetTempPathW with every abbreviated (8.3) component expanded to its stored long name; ends in
  // a backslash. Kept in UTF-16: a user name outside the ANSI code page must still give a path
  // that can be written to.
  std::wstring TempPath() const;
};

}  // namespace setup

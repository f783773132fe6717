// Identifiers shared by the resource script and the code that loads the resources.
#pragma once

#define IDI_SETUP 1
#define IDB_LOGO 100
#define IDB_LOGO_150 101  // the logo drawn for 150 % and 200 % display scales
#define IDB_LOGO_200 102

// Identifiers shared by the resource script and the code that loads the resources.
#pragma once

#define IDI_SETUP 1
#define IDB_LOGO 100

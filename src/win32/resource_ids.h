#pragma once

// Resources of the program, shared by its resource script and its code.
#define IDI_APP 1
#define IDI_TRAY 2
#define IDB_BANNER 10
#define IDR_LICENCE 20

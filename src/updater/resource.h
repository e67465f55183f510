// Resource ids shared by the program and its resource script (plain
// preprocessor definitions, as the resource compiler reads them too).
#pragma once

#define VORN_ICON_MAIN 1002
#define VORN_ICON_FAMILY 1004

// No console exists yet: ConPrint prints nothing, as without "-log".
#include "console/console.h"

void ConPrint(const char*, ...) {}

#include "updater/config.h"

RunConfig gConfig = {VORN_MAIN_PRODUCT, VORN_DEMO, 0, 0, 0, 0, 0, {}, {}, 0};

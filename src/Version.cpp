#include "Version.h"

const char* Version() { return QUORVANE_VERSION; }

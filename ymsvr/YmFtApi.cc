// The process's engine handle; see YmFtApi.h.
#include "YmFtApi.h"

FTAPIH ftapih = nullptr;

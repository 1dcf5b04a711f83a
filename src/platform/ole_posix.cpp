// The structured-storage API on the project's compound-file engine.
#include "platform/ole.h"

#include "core/TMainState.h"

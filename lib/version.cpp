#include "lib/version.h"

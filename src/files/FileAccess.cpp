#include "FileAccess.h"

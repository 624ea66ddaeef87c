#include "LibraryController.h"

#include "DescriptionFile.h"

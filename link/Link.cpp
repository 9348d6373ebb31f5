#include "Link.h"

#include "LinkFactory.h"

#include "LinkProtocol.h"

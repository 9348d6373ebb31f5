#include "TransmitKeying.h"

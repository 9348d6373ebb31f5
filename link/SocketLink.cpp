#include "SocketLink.h"

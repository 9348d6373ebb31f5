#include "FakeLink.h"

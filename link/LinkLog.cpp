#include "LinkLog.h"

Q_LOGGING_CATEGORY(lcLink, "tempovox.link")

#include "VoiceLibrary.h"

// Placeholder until the Windows window side lands.
#include "platform/window.h"

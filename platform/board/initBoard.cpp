// Board start-up: the devices are the kernel's; nothing to bring up.
#include "platform/init.h"

void platformInit() {}

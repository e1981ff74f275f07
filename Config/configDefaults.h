// Default configuration: every default of the system image.
#pragma once

// Sets all system-image defaults; at its end the log gate opens.
void runInitSystemImage();

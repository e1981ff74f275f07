// Stand-in for the power calibration operations run after a configuration
// load: the driver power and the APC voltage are applied by their own setters
// and the RF loops; nothing more is driven here yet.
#include "Config/keys/hpa.h"

void applyDriverPowerOffset() {}

void applyVoltageAPC() {}

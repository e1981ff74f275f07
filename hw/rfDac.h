// RF DAC and quadrature modulator.
#pragma once

// Programs the quadrature modulator from the stored DAC and NCO settings.
void UpdateQM();

// Power thresholds and detector calibration of the three amplifier families.
#pragma once

// Over-power and reflected-power thresholds of the second family (VASK) and
// of the third family (TREL), written to logical DACs 1 and 2.
void calcOverPowerThreshold_VASK();
void calcRefPowerThreshold_VASK();
void calcOverPowerThreshold_TREL();
void calcRefPowerThreshold_TREL();

// Audio-processor coefficient engine.
#pragma once

// 750 ms meter step: reads the meters of one band per call.
void AP_ReadMeters();

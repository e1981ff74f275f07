// Raw alarm conditions and reprogramming requests: two steps of the 250 ms
// alarm cycle.
#pragma once

// Derives the raw alarm conditions that no measurement sets itself.
void ComputeAlarmConditions();
// Serves the reprogramming requests raised by the alarm handlers. Returns 0.
int ServiceReprogramRequests();

// MPX-over-IP parameters.
#pragma once

// 750 ms status poll of the MPX-over-IP block.
void GBE_PollStatus();
// 1 when the MPX-over-IP block is fitted (its status byte), else 0.
int GBE_IsBlockFitted();

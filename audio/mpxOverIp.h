// MPX-over-IP parameters.
#pragma once

// 750 ms status poll of the MPX-over-IP block.
void GBE_PollStatus();

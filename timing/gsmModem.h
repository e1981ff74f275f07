// GSM modem driver.
#pragma once

// Body of "Gsm Thread" (100 ms); the thread is in the table but not started.
void GSM_ThreadStep();

// RDS data set: the UECP element store.
#pragma once

// Zeroes the UECP element store of the RDS data set.
void clearRdsDataSet();

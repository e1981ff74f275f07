// Texts the SMS command replies and the alarm SMS share.
#pragma once

#include <cstddef>

// "[label]" when the transmitter label is set, else empty.
void gsmLabelPart(char* out, size_t size);
// The unit type text; the test SMS names the 0 dBm exciter.
void gsmTypeText(char* out, size_t size, bool testSms);
// The identity text of INFO and of the test SMS, with `word` after the label.
void gsmIdentityText(char* out, size_t size, const char* word, bool testSms);

// Fuzz target: the modem's answers. The input is a received chunk: the
// answer table runs over it (GSM_ParseATCmds, with no port open, so a PIN
// request sends nothing), every field of it is taken with small and large
// outputs, and the network time text is parsed. A field never holds more
// than its output less the terminator, never a quote or a separator; the
// stored texts stay terminated within their 24 bytes.
#include "Config/keys/gsmKeys.h"
#include "timing/gsmModem.h"

#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        abort();
}

void checkText(void (*getter)(uint8_t*))
{
    uint8_t t[24];
    getter(t);
    check(memchr(t, 0, sizeof t) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    GSM_SetRxBuffer(text, size);
    GSM_ParseATCmds();
    checkText(getGsmOperatorName);
    checkText(getGsmNetTime);
    for (int n = 0; n < 6; n++) {
        static const size_t kSizes[] = {1, 5, 25};
        for (size_t outSize : kSizes) {
            char out[32];
            memset(out, 'x', sizeof out);
            GSM_GetAnswerField(n, text, size, out, outSize);
            size_t len = strnlen(out, outSize);
            check(len < outSize);
            check(out[outSize] == 'x');
            for (size_t i = 0; i < len; i++)
                check(out[i] != '"' && out[i] != ',' && out[i] != '\r' && out[i] != '\n');
        }
    }
    char zero[64] = {};
    memcpy(zero, text, size < sizeof zero - 1 ? size : sizeof zero - 1);
    time_t t = 0;
    if (GSM_ParseNetTime(zero, &t) == 0)
        check(t != static_cast<time_t>(-1));
    return 0;
}

// Stand-ins for system image accessors not built yet: plain stores.
#include "Config/pendingAccessors.h"

namespace {

struct PendingImage {
    uint32_t ntpDateError = 0;
    char ntpNameServer[257] = {};
    uint32_t versionWord[5] = {};
    uint32_t versionRef[5] = {};
};

PendingImage& img()
{
    static PendingImage s;
    return s;
}

} // namespace

void setNtpDateError(uint32_t v) { img().ntpDateError = v; }
uint32_t getNtpDateError() { return img().ntpDateError; }
char* getNTPNameServer() { return img().ntpNameServer; }

void setVersionWord1(uint32_t v) { img().versionWord[0] = v; }
void setVersionWord2(uint32_t v) { img().versionWord[1] = v; }
void setVersionWord3(uint32_t v) { img().versionWord[2] = v; }
void setVersionWord4(uint32_t v) { img().versionWord[3] = v; }
void setVersionWord5(uint32_t v) { img().versionWord[4] = v; }
uint32_t getVersionWord1() { return img().versionWord[0]; }
uint32_t getVersionWord2() { return img().versionWord[1]; }
uint32_t getVersionWord3() { return img().versionWord[2]; }
uint32_t getVersionWord4() { return img().versionWord[3]; }
uint32_t getVersionWord5() { return img().versionWord[4]; }
void setVersionRef1(uint32_t v) { img().versionRef[0] = v; }
void setVersionRef2(uint32_t v) { img().versionRef[1] = v; }
void setVersionRef3(uint32_t v) { img().versionRef[2] = v; }
void setVersionRef4(uint32_t v) { img().versionRef[3] = v; }
void setVersionRef5(uint32_t v) { img().versionRef[4] = v; }
uint32_t getVersionRef1() { return img().versionRef[0]; }
uint32_t getVersionRef2() { return img().versionRef[1]; }
uint32_t getVersionRef3() { return img().versionRef[2]; }
uint32_t getVersionRef4() { return img().versionRef[3]; }
uint32_t getVersionRef5() { return img().versionRef[4]; }

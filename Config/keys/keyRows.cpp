// The descriptor array built from every region's rows, the build-time checks
// of each row, the rows' handles and the generated named accessors.
#include "Config/keys/keyIds.h"

#include "Config/keys/accessorDefs.h"

#include "Config/alarmIds.h"
#include "Config/changeGroups.h"
#include "Config/eventIds.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/mpxIpKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/powerKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"

constexpr CfgKeyDesc cfgKeyTable[KEY_COUNT] = {
#define CFG(Kind, Id, CType, ...) {.id = #Id, __VA_ARGS__, .handSet = CFG_HANDSET_##Kind(Id)},
#define CFG_ALIAS(alias, owner)
#include "Config/keys/allKeys.def"
#undef CFG
};

// Each row against its kind and its getter type (the member against the
// stored shape is checked by IMG itself).
#define CFG(Kind, Id, CType, ...) CFG_CHECK_ROW(Kind, Id, CType, cfgKeyTable[KEY_##Id])
#include "Config/keys/allKeys.def"
#undef CFG

#define CFG(Kind, Id, CType, ...) const CfgKeyDesc* const cfgRow_##Id = &cfgKeyTable[KEY_##Id];
#include "Config/keys/allKeys.def"
#undef CFG

// The named accessors.
#define CFG(Kind, Id, CType, ...) CFG_DEF_##Kind(Id, CType)
#include "Config/keys/allKeys.def"
#undef CFG
#undef CFG_ALIAS

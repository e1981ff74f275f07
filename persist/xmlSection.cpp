// Reading and writing one section of the XML configuration files.
#include "persist/xmlSection.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/xmlLayout.h"
#include "alarms/logicaTxConfig.h"
#include "alarms/alarmObjects.h"
#include "audio/fmRxMonitor.h"
#include "audio/mpxOverIp.h"
#include "platform/paths.h"

#include <arpa/inet.h>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// The readable elements of a section instance by name (the first in
// writing order wins), built at first use: element names of numbered keys
// are formatted, and a section is looked up once per key element read.
using NameMap = std::unordered_map<std::string, const XmlKey*>;

struct State {
    std::vector<NameMap> names[XS_COUNT]; // per instance
};

State& st()
{
    static State s;
    return s;
}

// The stored sets of the audio-processor block: crate id n is set n of its
// kind, set 0 being the working set that the accessors reach. A row of the
// working set reaches set n at the set's stride.
struct StoredSets {
    size_t offset; // of set 0 in the image
    size_t stride;
};

bool storedSetsOf(uint8_t section, StoredSets* out)
{
    switch (section) {
    case XS_AP_COMMON: *out = {offsetof(SystemImage, ap.common), sizeof(ApCommonSet)}; return true;
    case XS_AP_EQUALIZER: *out = {offsetof(SystemImage, ap.eq), sizeof(ApEqSet)}; return true;
    case XS_AP_COMPRESSOR: *out = {offsetof(SystemImage, ap.cmp), sizeof(ApCmpSet)}; return true;
    default: return false;
    }
}

// One element of a key in a file: the row and the accessor's index, or,
// for an element of a stored audio-processor set, its bytes in the image.
struct Target {
    const CfgKeyDesc* d;
    uint32_t index;
    uint8_t* raw; // nullptr: through the accessors
};

// Byte offset of an element from the row's first element; -1 for no element.
long elementOffset(const CfgKeyDesc* d, uint32_t index)
{
    uint32_t inner = d->at.inner ? d->at.inner : 1;
    uint32_t outer, in;
    if (inner > 1) {
        if (index >= static_cast<uint32_t>(d->at.count) * inner)
            return -1;
        outer = index / inner;
        in = index % inner;
    } else {
        uint32_t i = index & 255u;
        if (i < d->indexBase || i - d->indexBase >= d->at.count)
            return -1;
        outer = i - d->indexBase;
        in = 0;
    }
    return static_cast<long>(outer) * d->at.stride + static_cast<long>(in) * d->at.innerStride;
}

Target targetOf(const XmlKey& k, uint32_t id)
{
    const CfgKeyDesc* d = cfgKeyDesc(static_cast<CfgKeyId>(k.key));
    const XmlSectionDesc& s = xmlSection(k.section);
    Target t{d, k.index, nullptr};
    if (!s.ids)
        return t;
    StoredSets sets;
    if (storedSetsOf(k.section, &sets) && d->at.base == BASE_IMAGE && d->at.offset >= sets.offset &&
        d->at.offset < sets.offset + sets.stride) {
        if (id == 0)
            return t;
        long off = elementOffset(d, k.index);
        if (off < 0 || id >= s.ids)
            return {d, CFG_NO_INDEX, nullptr};
        t.raw = reinterpret_cast<uint8_t*>(getSystemImage()) + d->at.offset + id * sets.stride +
                static_cast<size_t>(off);
        return t;
    }
    // A family over the crate's instances: the instance is the (outer) index.
    if (d->at.inner > 1)
        t.index = cfgPairIndex(d, id, k.index);
    else if (d->at.count > 1)
        t.index = id + d->indexBase;
    return t;
}

uint32_t getNumber(const Target& t)
{
    if (!t.raw)
        return cfgGetElement(t.d, t.index);
    uint8_t b = 0;
    uint16_t h = 0;
    uint32_t w = 0;
    switch (t.d->at.shape) {
    case VT_U8: memcpy(&b, t.raw, 1); return b;
    case VT_U16: memcpy(&h, t.raw, 2); return h;
    case VT_S16: memcpy(&h, t.raw, 2); return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(h)));
    case VT_U32_LOW8: memcpy(&w, t.raw, 4); return w & 255u;
    default: memcpy(&w, t.raw, 4); return w;
    }
}

void setNumber(const Target& t, uint32_t v)
{
    if (!t.raw) {
        cfgSetElement(t.d, t.index, v);
        return;
    }
    uint8_t b = static_cast<uint8_t>(v);
    uint16_t h = static_cast<uint16_t>(v);
    switch (t.d->at.shape) {
    case VT_U8: memcpy(t.raw, &b, 1); break;
    case VT_U16:
    case VT_S16: memcpy(t.raw, &h, 2); break;
    case VT_U8_IN_U32: v &= 255u; memcpy(t.raw, &v, 4); break;
    case VT_U16_IN_U32: v &= 0xffffu; memcpy(t.raw, &v, 4); break;
    default: memcpy(t.raw, &v, 4); break;
    }
}

// The bytes of a text or byte-string element (nullptr for other shapes).
uint8_t* bytesOf(const Target& t)
{
    if (t.raw)
        return t.raw;
    if (t.d->at.shape == VT_TEXT)
        return reinterpret_cast<uint8_t*>(cfgText(t.d, t.index));
    return nullptr;
}

// Keys of a section that are applied only in some operating states: the
// last valid drive values of configuration.xml's output section belong to an
// N+1 reserve, each to its kind of power supply.
struct ApplyCondition {
    uint8_t section;
    uint16_t key;
    bool (*holds)();
};

const ApplyCondition kApplyConditions[] = {
    {XS_OUTPUT, KEY_LastValidVdac, [] { return getNplus1Mode() == 1 && getPsuTypeCode() == 0; }},
    {XS_OUTPUT, KEY_LastValidHpsVout, [] { return getNplus1Mode() == 1 && getPsuTypeCode() == 1; }},
};

bool applies(const XmlKey& k)
{
    for (const ApplyCondition& c : kApplyConditions) {
        if (c.section == k.section && c.key == k.key)
            return c.holds();
    }
    return true;
}

bool enumHasEmptyText(uint8_t e)
{
    const char* t = xmlEnumText(e, xmlEnumValue(e, ""));
    return t && !*t;
}

int64_t parseSigned(const char* text)
{
    char* end = nullptr;
    long long v = strtoll(text ? text : "", &end, 10);
    return end == text ? 0 : v;
}

uint64_t parseUnsigned(const char* text)
{
    char* end = nullptr;
    unsigned long long v = strtoull(text ? text : "", &end, 10);
    return end == text ? 0 : v;
}

void applyValue(const XmlKey& k, const Target& t, uint32_t id, const char* text)
{
    const CfgKeyDesc* d = t.d;
    switch (k.form) {
    case XF_U8: setNumber(t, xmlTextToU8(text)); break;
    case XF_U16: setNumber(t, xmlTextToU16(text)); break;
    case XF_U32: setNumber(t, xmlTextToU32(text)); break;
    case XF_S8: setNumber(t, static_cast<uint32_t>(static_cast<int32_t>(xmlTextToS8(text)))); break;
    case XF_S16: setNumber(t, static_cast<uint32_t>(static_cast<int32_t>(xmlTextToS16(text)))); break;
    case XF_S32: setNumber(t, static_cast<uint32_t>(xmlTextToS32(text))); break;
    case XF_IPV4: setNumber(t, xmlTextToIpAddr(text)); break;
    case XF_ENUM: setNumber(t, xmlEnumValue(k.enumTable, text)); break;
    case XF_DOTTED4: {
        uint8_t b[4] = {};
        if (sscanf(text, "%hhu.%hhu.%hhu.%hhu", &b[0], &b[1], &b[2], &b[3]) != 4)
            memset(b, 0, sizeof b);
        if (d->at.shape == VT_BYTES && !t.raw) {
            cfgSetBytes(d, t.index, b, sizeof b);
        } else if (uint8_t* p = bytesOf(t)) {
            memcpy(p, b, sizeof b);
        } else {
            uint32_t w;
            memcpy(&w, b, sizeof w);
            setNumber(t, w);
        }
        break;
    }
    case XF_TEXT: {
        // The field is cleared, then takes at most its size less one byte.
        if (d->at.shape == VT_BYTES && !t.raw) {
            std::vector<uint8_t> b(d->at.size, 0);
            memcpy(b.data(), text, strnlen(text, d->at.size));
            cfgSetBytes(d, t.index, b.data(), b.size());
        } else if (uint8_t* p = bytesOf(t)) {
            memset(p, 0, d->at.size);
            if (d->at.size)
                memcpy(p, text, strnlen(text, d->at.size - 1u));
        }
        break;
    }
    case XF_TEXT8: {
        cfgSetPackedText(d, xmlSection(k.section).ids ? id : 0, text, 8);
        break;
    }
    default: break;
    }
}

// The text of an element as the file gives it (UTF-8 for libxml2).
std::string valueText(const XmlKey& k, const Target& t, uint32_t id)
{
    const CfgKeyDesc* d = t.d;
    char b[64];
    uint32_t v = 0;
    if (k.form <= XF_DOTTED4 || k.form == XF_ENUM) {
        if (k.form == XF_DOTTED4 && (d->at.shape == VT_BYTES || t.raw)) {
            uint8_t bytes[4] = {};
            if (t.raw)
                memcpy(bytes, t.raw, 4);
            else if (d->at.size >= 4) {
                std::vector<uint8_t> all(d->at.size);
                cfgGetBytes(d, t.index, all.data());
                memcpy(bytes, all.data(), 4);
            }
            memcpy(&v, bytes, 4);
        } else {
            v = getNumber(t);
        }
    }
    switch (k.form) {
    case XF_U8: snprintf(b, sizeof b, "%u", v & 0xffu); break;
    case XF_U16: snprintf(b, sizeof b, "%u", v & 0xffffu); break;
    case XF_U32: snprintf(b, sizeof b, "%" PRIu32, v); break;
    case XF_S8: snprintf(b, sizeof b, "%i", static_cast<int>(static_cast<int8_t>(v))); break;
    case XF_S16: snprintf(b, sizeof b, "%i", static_cast<int>(static_cast<int16_t>(v))); break;
    case XF_S32: snprintf(b, sizeof b, "%" PRId32, static_cast<int32_t>(v)); break;
    case XF_IPV4: ipAddrToXmlText(v, b); break;
    case XF_DOTTED4: {
        uint8_t bytes[4];
        memcpy(bytes, &v, 4);
        snprintf(b, sizeof b, "%hhu.%hhu.%hhu.%hhu", bytes[0], bytes[1], bytes[2], bytes[3]);
        break;
    }
    case XF_ENUM: {
        const char* e = xmlEnumText(k.enumTable, v);
        return e ? e : "";
    }
    case XF_TEXT: {
        const uint8_t* p = bytesOf(t);
        std::vector<uint8_t> all;
        if (!p && d->at.shape == VT_BYTES) {
            all.resize(d->at.size);
            cfgGetBytes(d, t.index, all.data());
            p = all.data();
        }
        if (!p)
            return "";
        const char* c = reinterpret_cast<const char*>(p);
        return latin1ToUtf8(c, strnlen(c, d->at.size));
    }
    case XF_TEXT8: {
        char text[9];
        uint32_t outer = xmlSection(k.section).ids ? id : 0;
        cfgGetPackedText(d, outer, text, 8);
        text[8] = 0;
        return latin1ToUtf8(text, strnlen(text, 8));
    }
    default: return "";
    }
    return b;
}

NameMap& namesOf(uint8_t section, uint32_t id)
{
    std::vector<NameMap>& maps = st().names[section];
    if (maps.empty()) {
        uint32_t ids = xmlSection(section).ids ? xmlSection(section).ids : 1;
        maps.resize(ids);
        size_t n = 0;
        const XmlKey* keys = xmlSectionKeys(section, &n);
        for (uint32_t i = 0; i < ids; i++) {
            for (size_t j = 0; j < n; j++) {
                if (keys[j].flags & XML_WRITE_ONLY)
                    continue;
                Target t = targetOf(keys[j], i);
                const char* name = cfgElementName(t.d, t.raw || t.index == CFG_NO_INDEX ? keys[j].index : t.index);
                if (name)
                    maps[i].emplace(name, &keys[j]);
            }
        }
    }
    return maps[id < maps.size() ? id : 0];
}

// The FM receiver's settings at the end of the platform section of
// configuration.xml: its parameter objects, the configuration word of its
// alarm set and the thresholds of the SNR, RSSI and ASSI200 alarms.
struct FmRxThreshold {
    uint32_t alarm;
    uint32_t field; // 2 low threshold, 4 high threshold
};
constexpr FmRxThreshold kFmRxThresholds[] = {{FMRX_ALM_SNR, 2}, {FMRX_ALM_RSSI, 2}, {FMRX_ALM_ASSI200, 4}};

const char* thresholdKey(AlarmSet* set, const FmRxThreshold& t)
{
    intptr_t key = CA_ALARMSET_Event_GetP(set, t.alarm, t.field + 1);
    return key == ALARM_NOT_AVAILABLE || key == -1 ? nullptr : reinterpret_cast<const char*>(key);
}

bool sameKey(const char* name, const char* key)
{
    return key && strcmp(name, key) == 0;
}

// Applies one of the receiver's elements; false when the name is none of them.
bool readFmRxElement(const char* name, const char* text)
{
    FmRxContext* c = fmRx_GetContext();
    if (!c || !c->built || !name)
        return false;
    auto number = [&] { return text ? strtol(text, nullptr, 10) : 0L; };
    if (sameKey(name, c->frqNom.key)) {
        if (text)
            c->frqNom.set(&c->frqNom, xmlTextToU32(text));
        return true;
    }
    if (sameKey(name, c->intermFrqOffset.key)) {
        if (text)
            c->intermFrqOffset.set(&c->intermFrqOffset, static_cast<int8_t>(number()));
        return true;
    }
    if (sameKey(name, c->preAmpMode.key)) {
        if (text)
            c->preAmpMode.set(&c->preAmpMode, strcmp(text, "Enable") == 0 ? 1 : 0);
        return true;
    }
    if (const char* key = AlarmSet_GetConfigKey(c->alarms); sameKey(name, key)) {
        if (text)
            AlarmSet_ApplyConfig(c->alarms, xmlTextToU32(text), 0xFFFFFFFFu);
        return true;
    }
    for (const FmRxThreshold& t : kFmRxThresholds) {
        const char* key = thresholdKey(c->alarms, t);
        if (sameKey(name, key)) {
            if (text)
                CA_ALARMSET_Event_SetP(c->alarms, t.alarm, t.field, static_cast<int32_t>(number()));
            return true;
        }
    }
    for (ParamLong* p : {&c->rssiPresThd, &c->snrPresThd})
        if (sameKey(name, p->key)) {
            if (text)
                p->set(p, static_cast<int32_t>(number()));
            return true;
        }
    return false;
}

int16_t writeElement(xmlTextWriterPtr writer, const char* name, const std::string& text, int16_t result);

int16_t writeFmRxElements(xmlTextWriterPtr writer, int16_t result)
{
    FmRxContext* c = fmRx_GetContext();
    if (!c || !c->built)
        return result;
    result = writeElement(writer, c->frqNom.key, std::to_string(c->frqNom.get(&c->frqNom)), result);
    result = writeElement(writer, c->intermFrqOffset.key,
                          std::to_string(static_cast<int>(c->intermFrqOffset.get(&c->intermFrqOffset))), result);
    result = writeElement(writer, c->preAmpMode.key, c->preAmpMode.get(&c->preAmpMode) ? "Enable" : "Disable", result);
    if (const char* key = AlarmSet_GetConfigKey(c->alarms))
        result = writeElement(writer, key, std::to_string(AlarmSet_GetConfigWord(c->alarms)), result);
    for (const FmRxThreshold& t : kFmRxThresholds)
        if (const char* key = thresholdKey(c->alarms, t))
            result = writeElement(
                writer, key,
                std::to_string(static_cast<int32_t>(CA_ALARMSET_Event_GetP(c->alarms, t.alarm, t.field))), result);
    for (ParamLong* p : {&c->rssiPresThd, &c->snrPresThd})
        result = writeElement(writer, p->key, std::to_string(static_cast<int32_t>(p->get(p))), result);
    return result;
}

// Key element of the platform section: both files' loaders apply every
// platform key, whichever file it was found in.
void readPlatform(const char* attr, const char* name, const char* text)
{
    if (readFmRxElement(name, text))
        return;
    if (namesOf(XS_PLATFORM, 0).count(name))
        xmlApplySectionKey(XS_PLATFORM, attr, name, text);
    else
        xmlApplySectionKey(XS_PLATFORM_NET, attr, name, text);
}

// The elements of gbe_video_ip in writing order: MPX-over-IP parameter
// objects, each written as an unsigned number from its get operation and
// read through its set operation (addresses too are plain numbers here).
struct GbeXmlKey {
    const char* name;
    ParamU32 GbeParams::*u32;
    ParamU16 GbeParams::*u16;
    ParamU8 GbeParams::*u8;
};
constexpr GbeXmlKey kGbeXmlKeys[] = {
    {"GBE_ConfigFlags", &GbeParams::configFlags, nullptr, nullptr},
    {"GBE_Latency", nullptr, &GbeParams::latency, nullptr},
    {"GBE_TTL", nullptr, nullptr, &GbeParams::ttl},
    {"GBE_IpAddr", &GbeParams::ipAddr, nullptr, nullptr},
    {"GBE_NetMask", &GbeParams::netMask, nullptr, nullptr},
    {"GBE_GWAddr", &GbeParams::gwAddr, nullptr, nullptr},
    {"GBE_MulticastGrp", &GbeParams::multicastGrp, nullptr, nullptr},
    {"GBE_UDPPort", nullptr, &GbeParams::udpPort, nullptr},
    {"GBE_TX_ENABLE", nullptr, nullptr, &GbeParams::txEnable},
    {"GBE_TX_TS_SOURCE", nullptr, nullptr, &GbeParams::txTsSource},
    {"GBE_TX_MULTICAST_ENABLE", nullptr, nullptr, &GbeParams::txMulticastEnable},
    {"GBE_TX_DEST_IP_ADDR", &GbeParams::txDestIpAddr, nullptr, nullptr},
    {"GBE_TX_MULTICAST_GRP", &GbeParams::txMulticastGrp, nullptr, nullptr},
    {"GBE_TX_DEST_MAC_ADDR_HIGH", nullptr, &GbeParams::txDestMacHigh, nullptr},
    {"GBE_TX_DEST_MAC_ADDR_LOW", &GbeParams::txDestMacLow, nullptr, nullptr},
    {"GBE_TX_DEST_UDP_PORT", nullptr, &GbeParams::txDestUdpPort, nullptr},
    {"GBE_TX_SRC_UDP_PORT", nullptr, &GbeParams::txSrcUdpPort, nullptr},
    {"GBE_SYNC_TIMESTAMP_OFFSET", &GbeParams::syncTimestampOffset, nullptr, nullptr},
};

template <class T>
uint32_t paramValue(Param<T>& p)
{
    return static_cast<uint32_t>(p.get(&p));
}

template <class T>
void paramSetText(Param<T>& p, const char* text)
{
    p.set(&p, static_cast<T>(xmlTextToU32(text)));
}

// Key element of gbe_video_ip: printed, and applied only while the
// MPX-over-IP block is fitted and its parameters exist.
void readGbe(const char*, const char* name, const char* text)
{
    printf("\n {GbEv03} From XML : ");
    printf(" %s = %u \n", name, xmlTextToU32(text));
    GbeParams* g = GBE_GetParams();
    if (!GBE_IsBlockFitted() || !g || !text)
        return;
    for (const GbeXmlKey& k : kGbeXmlKeys)
        if (strcmp(name, k.name) == 0) {
            if (k.u32)
                paramSetText(g->*k.u32, text);
            else if (k.u16)
                paramSetText(g->*k.u16, text);
            else
                paramSetText(g->*k.u8, text);
            return;
        }
}

int16_t writeGbe(xmlTextWriterPtr writer, uint32_t)
{
    const auto* el = reinterpret_cast<const xmlChar*>(xmlSection(XS_GBE_VIDEO_IP).element);
    int16_t result = xmlCombineResult(xmlTextWriterStartElement(writer, el), 0);
    if (GbeParams* g = GBE_GetParams())
        for (const GbeXmlKey& k : kGbeXmlKeys) {
            uint32_t v = k.u32 ? paramValue(g->*k.u32) : k.u16 ? paramValue(g->*k.u16) : paramValue(g->*k.u8);
            result = xmlCombineResult(xmlTextWriterWriteFormatElement(writer, reinterpret_cast<const xmlChar*>(k.name),
                                                                      "%u", v),
                                      result);
        }
    return xmlCombineResult(xmlTextWriterEndElement(writer), result);
}

// The RDS data set's elements that are no key rows: the alternative and
// variable-code sequences, the labelling-code variants of group 1A and the
// RadioText, which lives in its own file.
constexpr uint32_t kAlterSeqRead[] = {0, 1, 2, 4, 10, 12, 16, 20, 28};
constexpr uint32_t kVarCodeKinds[] = {2, 28};
constexpr uint32_t kLabellingVariants[] = {0, 2, 3, 6, 7};
constexpr char kRadioTextElement[] = "RADIO_TEXT";

// Applies one of those elements of data set d; false when the name is none
// of them.
bool readRdsDataSetExtra(uint32_t d, const char* name, const char* text)
{
    for (uint32_t g : kAlterSeqRead)
        for (uint32_t p = 0; p < 2; p++)
            if (strcmp(name, getRdsAlterSeqGroupKey(d, g, p)) == 0) {
                if (text)
                    setRdsAlterSeqEntry(d, g, p, xmlTextToU32(text));
                return true;
            }
    for (uint32_t k : kVarCodeKinds)
        for (uint32_t p = 0; p < 2; p++)
            if (strcmp(name, getRdsVarCodeSeqGroupKey(d, k, p)) == 0) {
                if (text)
                    setRdsVarCodeSeqEntry(d, k, p, xmlTextToU32(text));
                return true;
            }
    for (uint32_t k : kLabellingVariants)
        if (strcmp(name, getRdsLabellingCodeKey(d, k)) == 0) {
            if (text) {
                uint16_t v = xmlTextToU16(text);
                // Variant 0 is written as nibble * 256 + value: both come back.
                if (k == 0)
                    setRdsSequenceParam(d, 0, v & 0xffu, v >> 8);
                else
                    setRdsSequenceParam(d, k, v, 0);
            }
            return true;
        }
    if (strcmp(name, kRadioTextElement) == 0) {
        // An empty RadioText is written as an empty element.
        saveRadioTextFile(d, utf8ToLatin1(text ? text : "").c_str());
        return true;
    }
    return false;
}

// Key element of an RDS data set (the crate id is the data set).
void readRdsDataSet(const char* attr, const char* name, const char* text)
{
    unsigned d;
    if (attr && name && sscanf(attr, "%u", &d) == 1 && d < xmlSection(XS_RDS_DATASET).ids &&
        readRdsDataSetExtra(d, name, text))
        return;
    xmlApplySectionKey(XS_RDS_DATASET, attr, name, text);
}

int16_t writeElement(xmlTextWriterPtr writer, const char* name, const std::string& text, int16_t result)
{
    return xmlCombineResult(xmlTextWriterWriteElement(writer, reinterpret_cast<const xmlChar*>(name),
                                                      reinterpret_cast<const xmlChar*>(text.c_str())),
                            result);
}

int16_t writeRdsDataSetExtras(xmlTextWriterPtr writer, uint32_t d, int16_t result)
{
    for (uint32_t g = 0; g < 32; g++) {
        for (uint32_t p = 0; p < 2; p++)
            result = writeElement(writer, getRdsAlterSeqGroupKey(d, g, p),
                                  std::to_string(getRdsAlterSeqEntry(d, g, p)), result);
        if (g == 2 || g == 28)
            for (uint32_t p = 0; p < 2; p++)
                result = writeElement(writer, getRdsVarCodeSeqGroupKey(d, g, p),
                                      std::to_string(getRdsVarCodeSeqEntry(d, g, p)), result);
    }
    for (uint32_t k : kLabellingVariants)
        result = writeElement(writer, getRdsLabellingCodeKey(d, k),
                              std::to_string(static_cast<uint16_t>(buildRdsSequenceParamValue(d, k))), result);
    char text[RDS_RADIOTEXT_FILE_MAX + 1];
    uint16_t n = loadRadioTextFile(d, text, sizeof text);
    return writeElement(writer, kRadioTextElement, latin1ToUtf8(text, n), result);
}

template <uint8_t S>
void readSection(const char* attr, const char* name, const char* text)
{
    xmlApplySectionKey(S, attr, name, text);
}

template <uint8_t S>
int16_t writeSection(xmlTextWriterPtr writer, uint32_t id)
{
    return xmlWriteSectionKeys(writer, S, id);
}

template <size_t... I>
constexpr auto readerTable(std::index_sequence<I...>)
{
    return std::array<XmlSectionReader, sizeof...(I)>{{
        (I == XS_PLATFORM || I == XS_PLATFORM_NET ? readPlatform
         : I == XS_GBE_VIDEO_IP                   ? readGbe
         : I == XS_RDS_DATASET                    ? readRdsDataSet
                                                  : readSection<static_cast<uint8_t>(I)>)...}};
}

template <size_t... I>
constexpr auto writerTable(std::index_sequence<I...>)
{
    return std::array<XmlSectionWriter, sizeof...(I)>{
        {(I == XS_GBE_VIDEO_IP ? writeGbe : writeSection<static_cast<uint8_t>(I)>)...}};
}

constexpr auto kReaders = readerTable(std::make_index_sequence<XS_COUNT>());
constexpr auto kWriters = writerTable(std::make_index_sequence<XS_COUNT>());

bool isNamed(xmlTextReaderPtr reader, const char* name)
{
    const xmlChar* n = xmlTextReaderConstName(reader);
    return n && name && strcmp(reinterpret_cast<const char*>(n), name) == 0;
}

} // namespace

int16_t xmlCombineResult(int callResult, int16_t accumulated)
{
    return callResult < 0 ? static_cast<int16_t>(-1) : accumulated;
}

int xmlParseSection(xmlTextReaderPtr reader, const char* nodeName, const char* attrName, const char* section,
                    XmlSectionReader cb)
{
    if (!nodeName || !section || strcmp(nodeName, section) != 0)
        return 0;
    std::string attr;
    bool hasAttr = false;
    if (attrName && xmlTextReaderHasAttributes(reader) == 1) {
        if (xmlChar* v = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>(attrName))) {
            attr = utf8ToLatin1(reinterpret_cast<const char*>(v));
            hasAttr = true;
            xmlFree(v);
        }
    }
    const char* a = hasAttr ? attr.c_str() : nullptr;
    // <section/> has no end element.
    if (xmlTextReaderIsEmptyElement(reader) == 1)
        return 1;
    int r = 1;
    bool seen = false; // a node already read that the walk has not looked at yet
    while (seen || (r = xmlTextReaderRead(reader)) == 1) {
        seen = false;
        int type = xmlTextReaderNodeType(reader);
        if (type == XML_READER_TYPE_END_ELEMENT && isNamed(reader, section))
            return 1;
        if (type != XML_READER_TYPE_ELEMENT)
            continue;
        const xmlChar* n = xmlTextReaderConstName(reader);
        std::string key = n ? reinterpret_cast<const char*>(n) : "";
        if (xmlTextReaderIsEmptyElement(reader) == 1) {
            if (cb)
                cb(a, key.c_str(), nullptr);
            continue;
        }
        if ((r = xmlTextReaderRead(reader)) != 1)
            break;
        type = xmlTextReaderNodeType(reader);
        if (type == XML_READER_TYPE_TEXT) {
            const xmlChar* v = xmlTextReaderConstValue(reader);
            std::string text = utf8ToLatin1(v ? reinterpret_cast<const char*>(v) : "");
            if (cb)
                cb(a, key.c_str(), text.c_str());
        } else if (type == XML_READER_TYPE_END_ELEMENT && isNamed(reader, key.c_str())) {
            if (cb)
                cb(a, key.c_str(), nullptr);
        } else {
            // Neither the key's text nor its end (a child element, the
            // section's end): the walk looks at it in turn.
            seen = true;
        }
    }
    return r < 0 ? -1 : 1;
}

int xmlParseCrate(xmlTextReaderPtr reader, const char* nodeName, const char* attrName, const char* crate,
                  const char* section, XmlSectionReader cb)
{
    if (!crate)
        return xmlParseSection(reader, nodeName, attrName, section, cb);
    if (!nodeName || strcmp(nodeName, crate) != 0)
        return 0;
    if (xmlTextReaderIsEmptyElement(reader) == 1)
        return 0;
    int result = 0;
    int r;
    while ((r = xmlTextReaderRead(reader)) == 1) {
        int type = xmlTextReaderNodeType(reader);
        const xmlChar* n = xmlTextReaderConstName(reader);
        std::string name = n ? reinterpret_cast<const char*>(n) : "";
        if (type == XML_READER_TYPE_ELEMENT) {
            printf("XML Crate Elem %s\n", name.c_str());
            result = xmlParseSection(reader, name.c_str(), attrName, section, cb);
            if (result < 0)
                return -1;
        } else if (type == XML_READER_TYPE_END_ELEMENT) {
            printf("XML Crate EndElem %s\n", name.c_str());
            if (name == crate)
                break;
        }
    }
    return r < 0 ? -1 : result;
}

int xmlReadElementValue(const char* elementName, const char* idText, char* out, const char* path)
{
    if (!elementName || !out || !path)
        return -1;
    xmlTextReaderPtr reader = xmlReaderForFile(sysPath(path).c_str(), nullptr, XML_PARSE_NONET);
    if (!reader)
        return -1;
    int found = -1;
    bool armed = false;
    while (xmlTextReaderRead(reader) == 1) {
        int type = xmlTextReaderNodeType(reader);
        if (armed && type == XML_READER_TYPE_TEXT) {
            const xmlChar* v = xmlTextReaderConstValue(reader);
            std::string text = utf8ToLatin1(v ? reinterpret_cast<const char*>(v) : "");
            size_t n = text.size() < 63 ? text.size() : 63;
            memcpy(out, text.data(), n);
            out[n] = 0;
            found = 0;
            break;
        }
        armed = false;
        if (type == XML_READER_TYPE_ELEMENT && isNamed(reader, elementName)) {
            xmlChar* id = xmlTextReaderGetAttribute(reader, reinterpret_cast<const xmlChar*>("id"));
            armed = id && idText && strcmp(reinterpret_cast<const char*>(id), idText) == 0;
            xmlFree(id);
        }
    }
    xmlFreeTextReader(reader);
    return found;
}

uint8_t xmlTextToU8(const char* text)
{
    return static_cast<uint8_t>(parseUnsigned(text));
}

uint16_t xmlTextToU16(const char* text)
{
    return static_cast<uint16_t>(parseUnsigned(text));
}

uint32_t xmlTextToU32(const char* text)
{
    return static_cast<uint32_t>(parseUnsigned(text));
}

int8_t xmlTextToS8(const char* text)
{
    return static_cast<int8_t>(parseSigned(text));
}

int16_t xmlTextToS16(const char* text)
{
    return static_cast<int16_t>(parseSigned(text));
}

int32_t xmlTextToS32(const char* text)
{
    return static_cast<int32_t>(parseSigned(text));
}

uint32_t xmlTextToIpAddr(const char* text)
{
    struct in_addr a;
    if (!text || inet_pton(AF_INET, text, &a) != 1)
        return 0;
    return a.s_addr;
}

void ipAddrToXmlText(uint32_t addr, char* out)
{
    struct in_addr a;
    a.s_addr = addr;
    if (!inet_ntop(AF_INET, &a, out, INET_ADDRSTRLEN))
        strcpy(out, "0.0.0.0");
}

void wordsToText8(uint32_t first, uint32_t second, char* out)
{
    for (int i = 0; i < 4; i++) {
        out[i] = static_cast<char>(first >> (24 - 8 * i));
        out[4 + i] = static_cast<char>(second >> (24 - 8 * i));
    }
    out[8] = 0;
}

std::string latin1ToUtf8(const char* bytes, size_t n, bool dropForbidden)
{
    std::string s;
    s.reserve(n);
    for (size_t i = 0; i < n; i++) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 && c != 0x09 && c != 0x0a && c != 0x0d) {
            if (!dropForbidden)
                s += '?';
        } else if (c < 0x80) {
            s += static_cast<char>(c);
        } else {
            s += static_cast<char>(0xc0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return s;
}

std::string utf8ToLatin1(const char* text)
{
    std::string s;
    if (!text)
        return s;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned char c = *p;
        if (c < 0x80) {
            s += static_cast<char>(c);
            p++;
            continue;
        }
        // The length of the sequence from its first byte; libxml2 gives
        // well-formed UTF-8, so only the length matters.
        int len = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
        uint32_t cp = len == 2 ? ((c & 0x1fu) << 6) | (p[1] & 0x3fu) : 0x100;
        s += cp <= 0xff ? static_cast<char>(cp) : '?';
        for (int i = 0; i < len && *p; i++)
            p++;
    }
    return s;
}

void xmlApplySectionKey(uint8_t section, const char* attr, const char* name, const char* text)
{
    if (section >= XS_COUNT || !name)
        return;
    const XmlSectionDesc& s = xmlSection(section);
    uint32_t id = 0;
    if (s.ids) {
        unsigned u;
        if (!attr || sscanf(attr, "%u", &u) != 1 || u >= s.ids)
            return;
        id = u;
    }
    NameMap& names = namesOf(section, id);
    auto it = names.find(name);
    if (it == names.end())
        return;
    const XmlKey& k = *it->second;
    if (!applies(k))
        return;
    if (!text) {
        // An element without text sets only a key whose enumeration has an
        // empty entry (the entry is written as an empty element).
        if (k.form != XF_ENUM || !enumHasEmptyText(k.enumTable))
            return;
        text = "";
    }
    Target t = targetOf(k, id);
    if (t.index == CFG_NO_INDEX && !t.raw)
        return;
    applyValue(k, t, id, text);
    // A loaded last valid drive value is applied by the power loop of the
    // family at its next pass.
    if (k.key == KEY_LastValidVdac || k.key == KEY_LastValidHpsVout)
        setLastValidRestoreRequest(1);
}

int16_t xmlWriteSectionKeys(xmlTextWriterPtr writer, uint8_t section, uint32_t id)
{
    if (section >= XS_COUNT)
        return -1;
    const XmlSectionDesc& s = xmlSection(section);
    const auto* el = reinterpret_cast<const xmlChar*>(s.element);
    int16_t result = xmlCombineResult(xmlTextWriterStartElement(writer, el), 0);
    if (s.ids)
        result = xmlCombineResult(
            xmlTextWriterWriteFormatAttribute(writer, reinterpret_cast<const xmlChar*>("id"), "%u", id), result);
    size_t n = 0;
    const XmlKey* keys = xmlSectionKeys(section, &n);
    for (size_t i = 0; i < n; i++) {
        // An RDS data set's sequences, labelling codes and RadioText go
        // before its last element, RT_AB_FlagMode.
        if (section == XS_RDS_DATASET && keys[i].key == KEY_RTABFlagMode)
            result = writeRdsDataSetExtras(writer, id, result);
        if (keys[i].flags & XML_READ_ONLY)
            continue;
        Target t = targetOf(keys[i], id);
        if (t.index == CFG_NO_INDEX && !t.raw)
            continue;
        std::string name = cfgElementName(t.d, t.raw ? keys[i].index : t.index);
        result = writeElement(writer, name.c_str(), valueText(keys[i], t, id), result);
    }
    if (section == XS_PLATFORM)
        result = writeFmRxElements(writer, result);
    return xmlCombineResult(xmlTextWriterEndElement(writer), result);
}

XmlSectionReader xmlSectionReader(uint8_t section)
{
    return section < XS_COUNT ? kReaders[section] : nullptr;
}

XmlSectionWriter xmlSectionWriter(uint8_t section)
{
    return section < XS_COUNT ? kWriters[section] : nullptr;
}

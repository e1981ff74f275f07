// Reading and writing one section of the XML configuration files.
#include "persist/xmlSection.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/keyIds.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/xmlLayout.h"
#include "alarms/logicaTxConfig.h"
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

// Key element of the platform section: both files' loaders apply every
// platform key, whichever file it was found in.
void readPlatform(const char* attr, const char* name, const char* text)
{
    if (namesOf(XS_PLATFORM, 0).count(name))
        xmlApplySectionKey(XS_PLATFORM, attr, name, text);
    else
        xmlApplySectionKey(XS_PLATFORM_NET, attr, name, text);
}

// Key element of gbe_video_ip: printed, and applied only while the
// MPX-over-IP block is fitted.
void readGbe(const char* attr, const char* name, const char* text)
{
    printf("\n {GbEv03} From XML : ");
    printf(" %s = %u \n", name, xmlTextToU32(text));
    if (GBE_IsBlockFitted())
        xmlApplySectionKey(XS_GBE_VIDEO_IP, attr, name, text);
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
                                                  : readSection<static_cast<uint8_t>(I)>)...}};
}

template <size_t... I>
constexpr auto writerTable(std::index_sequence<I...>)
{
    return std::array<XmlSectionWriter, sizeof...(I)>{{writeSection<static_cast<uint8_t>(I)>...}};
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
        if (keys[i].flags & XML_READ_ONLY)
            continue;
        Target t = targetOf(keys[i], id);
        if (t.index == CFG_NO_INDEX && !t.raw)
            continue;
        std::string name = cfgElementName(t.d, t.raw ? keys[i].index : t.index);
        std::string text = valueText(keys[i], t, id);
        result = xmlCombineResult(xmlTextWriterWriteElement(writer, reinterpret_cast<const xmlChar*>(name.c_str()),
                                                            reinterpret_cast<const xmlChar*>(text.c_str())),
                                  result);
    }
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

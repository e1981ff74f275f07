// What the XML configuration files need of each key: the file and section it
// is written in, its place in the section's writing order, its text form
// (number of a given width, dotted address, text, or a named enumeration),
// whether it is only read or only written, and the width the file gives a
// value, which may differ from the image's. Kept in a table beside the key
// rows (Config/keys/xmlLayout.def), one entry per element in writing order,
// so that a key written twice or in two sections has two entries.
#pragma once

#include <cstddef>
#include <cstdint>

enum XmlFile : uint8_t {
    XML_FILE_CONFIGURATION,   // /mnt/ubi0/conf/configuration.xml
    XML_FILE_CONTROL_NET,     // /mnt/ubi0/conf/control_net.xml
    XML_FILE_AUDIO_PROCESSOR, // /mnt/ubi0/conf/audio_processor.xml
    XML_FILE_FACTORY,         // /mnt/ubi0/conf/configuration_factory.xml
    XML_FILE_COUNT
};

// Sections in the order the files are written.
enum XmlSection : uint8_t {
    XS_GLOBAL,
    XS_INPUT,
    XS_OUTPUT,
    XS_SYNCHRO_FM,
    XS_GBE_VIDEO_IP,
    XS_LOGICA_TX,
    XS_POWER_MANAGEMENT,
    XS_RDS_COMMON,
    XS_RDS_DATASET,
    XS_GSM_COMMON,
    XS_GSM_USR_SLOT,
    XS_PLATFORM,     // the non-network platform keys, in configuration.xml
    XS_PLATFORM_NET, // the network platform keys, in control_net.xml
    XS_AP_COMMON,
    XS_AP_EQUALIZER,
    XS_AP_COMPRESSOR,
    XS_FACTORY,
    XS_FACTORY_BPF,
    XS_COUNT
};

struct XmlSectionDesc {
    const char* element; // the section's element name
    uint8_t file;
    const char* crate;   // the crate element of a numbered section, else nullptr
    uint8_t ids;         // instances of a numbered section, 0 for a plain one
};

// The text form of a value.
enum XmlForm : uint8_t {
    XF_U8,     // "%u", read as unsigned 8-bit
    XF_U16,
    XF_U32,
    XF_S8,     // "%i", read as signed 8-bit
    XF_S16,
    XF_S32,    // "%li"
    XF_IPV4,   // dotted address of a word in network byte order
    XF_DOTTED4, // four bytes "%hhu.%hhu.%hhu.%hhu"
    XF_TEXT,   // "%s"
    XF_TEXT8,  // the eight characters of two words, most significant byte first
    XF_ENUM,   // a named enumeration (XmlEnum)
};

// Named enumerations of the text forms.
enum XmlEnum : uint8_t {
    XE_NONE,
    XE_SWITCH, // "Disable", "Enable"
    XE_FUNCTIONAL_TYPE,
    XE_TIME_SOURCE,
    XE_CLOCK_SOURCE,
    XE_AUDIO_TERMINATION,
    XE_MPX_TERMINATION,
    XE_PPS_IMPEDANCE,
    XE_STANDARD_TYPE,
    XE_ETHERNET_SWITCH_MODE,
    XE_OUTPUT_CONFIGURATION,
    XE_CLIPPER_PROFILE,
    XE_CLIPPER_ORDER,
    XE_CLIPPER_DECAY,
    XE_PRE_EMPHASIS,
    XE_NETWORK_MODE,
    XE_FREQUENCY_REFERENCE,
    XE_TIME_REFERENCE,
    XE_PS_MODE,
    XE_UECP_BAUD_RATE,
    XE_DATA_SET_REFERENCE,
    XE_INPUT,
    XE_BACKUP_RDS,
    XE_RECEIVER_INPUT,
    XE_RECEIVER_RDS,
    XE_INPUT_SWITCH_MODE,
    XE_INPUT_SELECTION,
    XE_PSU_MANAGEMENT_MODE,
    XE_AMPLIFIER_ARRANGEMENT,
    XE_EXCITER_MODE,
    XE_TELECOMMAND_TYPE,
    XE_NPLUS1_ROLE,
    XE_NPLUS1_ADDRESSING,
    XE_COUNT
};

enum XmlFlag : uint8_t {
    XML_READ_ONLY = 1,  // accepted by the reader, never written
    XML_WRITE_ONLY = 2, // written, ignored on reading
};

// One element of a section.
struct XmlKey {
    uint16_t key;       // the row (CfgKeyId)
    uint8_t section;
    uint8_t form;
    uint8_t enumTable;  // XF_ENUM: which enumeration
    uint8_t flags;
    uint16_t index;     // the element of an indexed row; in a numbered section the element within
                        // the instance's record (the instance is the row's outer index)
};

const XmlSectionDesc& xmlSection(uint8_t section);
// The elements of a section in writing order; n gets their number.
const XmlKey* xmlSectionKeys(uint8_t section, size_t* n);
// The first element of a row in a section, or nullptr.
const XmlKey* xmlKeyOf(uint16_t key, uint8_t section);
// The width in bytes that the file's form gives a value (0 for texts and
// enumerations).
unsigned xmlStoredWidth(const XmlKey& k);

// Enumeration texts: the entry of value v (the table's out-of-range entry
// beyond it), and the value of a text (its no-match value when no entry is
// equal; compared exactly, in index order).
const char* xmlEnumText(uint8_t e, uint32_t v);
uint32_t xmlEnumValue(uint8_t e, const char* text);

// The XML layout of the keys: sections, enumeration texts and the elements
// of each section in writing order.
#include "Config/xmlLayout.h"

#include "Config/keys/keyIds.h"

#include <cstring>

namespace {

const XmlSectionDesc kSections[XS_COUNT] = {
    {"global", XML_FILE_CONFIGURATION, nullptr, 0},
    {"input", XML_FILE_CONFIGURATION, nullptr, 0},
    {"output", XML_FILE_CONFIGURATION, nullptr, 0},
    {"synchroFM", XML_FILE_CONFIGURATION, nullptr, 0},
    {"gbe_video_ip", XML_FILE_CONFIGURATION, nullptr, 0},
    {"logica_tx", XML_FILE_CONFIGURATION, nullptr, 0},
    {"power_management", XML_FILE_CONFIGURATION, nullptr, 0},
    {"rds_common", XML_FILE_CONFIGURATION, nullptr, 0},
    {"rds_dataset", XML_FILE_CONFIGURATION, "rds_dataset_crate", 7},
    {"gsm_common", XML_FILE_CONFIGURATION, nullptr, 0},
    {"gsm_usr_slot", XML_FILE_CONFIGURATION, "gsm_usr_slot_crate", 10},
    {"platform", XML_FILE_CONFIGURATION, nullptr, 0},
    {"platform", XML_FILE_CONTROL_NET, nullptr, 0},
    {"audio_processor_common", XML_FILE_AUDIO_PROCESSOR, "audio_processor_common_dataset_crate", 10},
    {"audio_processor_equalizer_dataset", XML_FILE_AUDIO_PROCESSOR, "audio_processor_equalizer_dataset_crate", 14},
    {"audio_processor_compressor_dataset", XML_FILE_AUDIO_PROCESSOR, "audio_processor_compressor_dataset_crate",
     14},
    {"factory", XML_FILE_FACTORY, nullptr, 0},
    {"factory_bpf", XML_FILE_FACTORY, nullptr, 0},
};

// An enumeration: texts from index `first` on; `noMatch` for a text that is
// no entry, `outOfRange` the index written for a value beyond the table.
struct EnumDesc {
    const char* const* texts;
    uint8_t count;
    uint8_t first;
    uint32_t noMatch;
    uint8_t outOfRange;
};

const char* const kSwitch[] = {"Disable", "Enable"};
const char* const kFunctionalType[] = {"NONE",    "PAL",     "NTSC",    "DVB_T", "DVB_T2",   "ATSC",
                                       "ISDB_T",  "ISDB_Tb", "DAB_DMB", "DTMB",  "REPEATER", "FM"};
const char* const kTimeSource[] = {"Manual", "GPS", "GPS_GLONASS", "NTP", ""};
const char* const kClockSource[] = {"External", "GPS", "GPS_GLONASS", "Internal"};
const char* const kAudioTermination[] = {"HiZ", "600_Ohm"};
const char* const kMpxTermination[] = {"220_Ohm", "110_Ohm"};
const char* const kPpsImpedance[] = {"Hi_Impedance", "50_Ohm"};
const char* const kStandardType[] = {"FM"};
const char* const kEthernetSwitchMode[] = {"LAN", "VLAN"}; // values 1 and 2
const char* const kOutputConfiguration[] = {
    "Mono_Analog_Left",
    "Mono_Digital_Left",
    "Mono_Analog_Left_Stereo",
    "Mono_Digital_Left_Stereo",
    "Mono_Analog_Left_Pil_RdsInt",
    "Mono_Digital_Left_Pil_RdsInt",
    "Mono_Analog_Left_Pil_RdsExt",
    "Mono_Digital_Left_Pil_RdsExt",
    "Mono_Analog_Left_Pil_RxData",
    "Mono_Digital_Left_Pil_RxData",
    "Mono_Analog_Right",
    "Mono_Digital_Right",
    "Mono_Analog_Right_Stereo",
    "Mono_Digital_Right_Stereo",
    "Mono_Analog_Right_Pil_RdsInt",
    "Mono_Digital_Right_Pil_RdsInt",
    "Mono_Analog_Right_Pil_RdsExt",
    "Mono_Digital_Right_Pil_RdsExt",
    "Mono_Analog_Right_Pil_RxData",
    "Mono_Digital_Right_Pil_RxData",
    "Mono_Analog_Right_Pil_MpxData_INVALID",
    "Mono_Digital_Right_Pil_MpxData_INVALID",
    "Stereo_Analog",
    "Stereo_Digital",
    "Stereo_RxAudio",
    "Stereo_MpxAudio ",
    "Stereo_Analog_RdsInt",
    "Stereo_Digital_RdsInt",
    "Stereo_RxAudio_RdsInt",
    "Stereo_MpxAudio_RdsInt",
    "Stereo_Analog_RdsExt",
    "Stereo_Digital_RdsExt",
    "Stereo_MpxAudio_RdsEx ",
    "Stereo_RxAudio_RdsExt ",
    "Stereo_Analog_RxData",
    "Stereo_Digital_RxData",
    "Stereo_RxAll",
    "Stereo_MpxAudio_RxData",
    "Stereo_Analog_MpxData_INVALID",
    "Stereo_Digital_MpxData_INVALID",
    "Stereo_RxAudio_MpxData",
    "Stereo_MpxAll",
    "MonoAnaLeftMpx",
    "MonoAnaRightMpx",
    "MonoAnaLeftMpxRdsExt",
    "MonoAnaRightMpxRdsExt",
    "MonoAnaLeftMpxRdsInt",
    "MonoAnaRightMpxRdsInt",
    "StereoMpx2Audio",
    "StereoMpx2AudioRdsInt",
    "StereoMpxAudioBal",
    "StereoMpxAudioBalRdsInt",
    "StereoMpxAudioBalRdsExt",
    "StereoMpx2AudioBal",
    "StereoMpx2AudioBalRdsInt",
    "StereoMpxOverIp",
    "StereoMpxOverIpRdsInt",
    "StereoMpxOverAesEbuChA",
    "StereoMpxOverAesEbuChARdsInt",
    "StereoMpxOverAesEbuChB",
    "StereoMpxOverAesEbuChBRdsInt",
    "StereoMpxOverAesEbuChARdsExt",
    "StereoMpxOverAesEbuChBRdsExt",
};
const char* const kClipperProfile[] = {"NoClipper", "Slow", "Hard"};
const char* const kClipperOrder[] = {"Ideal", "NoIdeal_1ms", "NoIdeal_2ms", "NoIdeal_3ms"};
const char* const kClipperDecay[] = {"4kHz_ms", "2kHz_ms", "1kHz_ms", "500Hz_ms"};
const char* const kPreEmphasis[] = {"50_us", "75_us"};
const char* const kNetworkMode[] = {"NetNormal", "NetSynchroFM"};
const char* const kFrequencyReference[] = {"Int1PPS", "Ext10MHz", "Ext19kHz_SqWave", "Ext19kHz_Sinus", "Ext1PPS",
                                           "IntRef",  "Mpx19kHz_SqWave", "MpxOverAesEbu", "Auto"};
const char* const kTimeReference[] = {"Int1PPS", "Ext1PPS", "Ext19kHz_SqWave", "Ext19kHz_Sinus", "", "", "", "",
                                      "Auto"};
const char* const kPsMode[] = {"Static", "Dynamic"};
const char* const kUecpBaudRate[] = {"0",     "2400",  "4800",   "9600",   "19200",
                                     "38400", "57600", "115200", "230400", "460800"};
const char* const kDataSetReference[] = {"Disabled", "DS1", "DS2", "DS3", "DS4", "DS5", "DS6", "DS7"};
const char* const kInput[] = {"Disabled", "Mpx1",      "Mpx2",      "AesEbu",           "L",
                              "R",        "L_R",       "Mpx1Bal",   "Mpx2Bal",          "MpxOverIp",
                              "MpxOverAesEbuChA", "MpxOverAesEbuChB", "MpxFromRx", "L_Pilot"};
const char* const kBackupRds[] = {"Disabled", "Internal", "External"};
const char* const kReceiverInput[] = {"Demod_FM", "DirectIQ"};
const char* const kReceiverRds[] = {"Disabled", "Internal", "FromRx"};
const char* const kInputSwitchMode[] = {"Manual", "Auto", "Prefer"};
const char* const kInputSelection[] = {"Primary", "Secondary"};
const char* const kPsuManagementMode[] = {"I2C Mode", "Analog Mode"};
const char* const kAmplifierArrangement[] = {"Single_Amplifier", "Multi_Amplifier"};
const char* const kExciterMode[] = {"Master", "Slave", "OEM"};
const char* const kTelecommandType[] = {"Inpulsive", "Continuous"};
const char* const kNplus1Role[] = {"Main", "Reserve"};
const char* const kNplus1Addressing[] = {"Software", "Hardware"};

template <size_t N>
constexpr EnumDesc table(const char* const (&t)[N], uint32_t noMatch, uint8_t outOfRange, uint8_t first = 0)
{
    return {t, static_cast<uint8_t>(N), first, noMatch, outOfRange};
}

const EnumDesc kEnums[XE_COUNT] = {
    {nullptr, 0, 0, 0, 0},
    table(kSwitch, 0, 0),
    table(kFunctionalType, 11, 11),
    table(kTimeSource, 0, 0),
    table(kClockSource, 0, 0),
    table(kAudioTermination, 0, 0),
    table(kMpxTermination, 0, 0),
    table(kPpsImpedance, 0, 0),
    table(kStandardType, 0, 0),
    table(kEthernetSwitchMode, 1, 1, 1),
    table(kOutputConfiguration, 0, 22),
    table(kClipperProfile, 0, 0),
    table(kClipperOrder, 0, 0),
    table(kClipperDecay, 0, 0),
    table(kPreEmphasis, 0, 0),
    table(kNetworkMode, 0, 0),
    table(kFrequencyReference, 0, 0),
    table(kTimeReference, 0, 0),
    table(kPsMode, 0, 0),
    table(kUecpBaudRate, 1, 1),
    table(kDataSetReference, 0, 0),
    table(kInput, 0, 0),
    table(kBackupRds, 0, 0),
    table(kReceiverInput, 0, 0),
    table(kReceiverRds, 0, 0),
    table(kInputSwitchMode, 0, 0),
    table(kInputSelection, 0, 0),
    table(kPsuManagementMode, 0, 0),
    table(kAmplifierArrangement, 0, 0),
    table(kExciterMode, 0, 0),
    table(kTelecommandType, 0, 0),
    table(kNplus1Role, 0, 0),
    table(kNplus1Addressing, 0, 0),
};

#define XML_KEY_WITH_INDEX(section, Id, form, e, flags, index, ...)                                \
    {KEY_##Id, section, form, e, flags, index},
#define XML_KEY(...) XML_KEY_WITH_INDEX(__VA_ARGS__, 0, 0)
constexpr XmlKey kKeys[] = {
#include "Config/keys/xmlLayout.def"
};
#undef XML_KEY
#undef XML_KEY_WITH_INDEX

// Every section's elements stand together, in the order of the sections.
constexpr bool sectionsInOrder()
{
    for (size_t k = 1; k < sizeof kKeys / sizeof kKeys[0]; k++) {
        if (kKeys[k].section < kKeys[k - 1].section)
            return false;
    }
    return true;
}
static_assert(sectionsInOrder(), "the elements of Config/keys/xmlLayout.def must be grouped by section, in order");

} // namespace

const XmlSectionDesc& xmlSection(uint8_t section)
{
    return kSections[section < XS_COUNT ? section : 0];
}

const XmlKey* xmlSectionKeys(uint8_t section, size_t* n)
{
    const XmlKey* first = nullptr;
    size_t count = 0;
    for (const XmlKey& k : kKeys) {
        if (k.section != section)
            continue;
        if (!first)
            first = &k;
        count++;
    }
    if (n)
        *n = count;
    return first;
}

const XmlKey* xmlKeyOf(uint16_t key, uint8_t section)
{
    for (const XmlKey& k : kKeys) {
        if (k.key == key && k.section == section)
            return &k;
    }
    return nullptr;
}

unsigned xmlStoredWidth(const XmlKey& k)
{
    switch (k.form) {
    case XF_U8:
    case XF_S8: return 1;
    case XF_U16:
    case XF_S16: return 2;
    case XF_U32:
    case XF_S32:
    case XF_IPV4:
    case XF_DOTTED4: return 4;
    default: return 0;
    }
}

const char* xmlEnumText(uint8_t e, uint32_t v)
{
    if (e == XE_NONE || e >= XE_COUNT)
        return nullptr;
    const EnumDesc& t = kEnums[e];
    uint32_t at = v >= t.first && v - t.first < t.count ? v : t.outOfRange;
    return t.texts[at - t.first];
}

uint32_t xmlEnumValue(uint8_t e, const char* text)
{
    if (e == XE_NONE || e >= XE_COUNT)
        return 0;
    const EnumDesc& t = kEnums[e];
    for (uint8_t k = 0; text && k < t.count; k++) {
        if (strcmp(text, t.texts[k]) == 0)
            return k + t.first;
    }
    return t.noMatch;
}

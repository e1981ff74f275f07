// The XML configuration files: the load of the four files into the image at
// start-up and on a load command, and their save after a change.
//
// A file is built whole in memory with the libxml2 writer and then replaced
// crash-safely (writeConfigFile), so a save cut short by a failure or a power
// loss leaves the previous file.
#include "persist/xmlConfig.h"

#include "Config/keys/rfKeys.h"
#include "Config/xmlLayout.h"
#include "alarms/logicaTxConfig.h"
#include "audio/mpxOverIp.h"
#include "audio/rdsDataSet.h"
#include "core/base/logs.h"
#include "core/base/persistentFile.h"
#include "hw/tunableBpf.h"
#include "links/ethernetSettings.h"
#include "persist/xmlSection.h"
#include "platform/paths.h"

#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <iterator>

namespace {

// The names shared by readers and writers.
constexpr const char* kConfDir = "/mnt/ubi0/conf";
constexpr const char* kRoot = "vrl";
constexpr const char* kIdAttr = "id";
constexpr const char* kEncoding = "ISO-8859-1";

struct XmlFileName {
    const char* path;
    const char* saveFailed; // the writer's failure line
    const char* loader;     // names in the debug lines
    const char* writer;
};

const XmlFileName kFiles[XML_FILE_COUNT] = {
    {"/mnt/ubi0/conf/configuration.xml", "FAILED save the configuration to XML", "applyXmlConfigToSystemImage_Main",
     "applySystemImageToXmlConfig_Main"},
    {"/mnt/ubi0/conf/control_net.xml", "FAILED save the control net configuration to XML",
     "applyXmlConfigToSystemImage_ControlNet", "applySystemImageToXmlConfig_ControlNet"},
    {"/mnt/ubi0/conf/audio_processor.xml", "FAILED save the audio processor configuration to XML",
     "applyXmlConfigToSystemImage_AudioProcessor", "applySystemImageToXmlConfig_AudioProcessor"},
    {"/mnt/ubi0/conf/configuration_factory.xml", "FAILED save the factory configuration to XML",
     "applyXmlConfigToSystemImage_Factory", "applySystemImageToXmlConfig_Factory"},
};

// The stem of a section's reader and writer in the debug lines.
const char* sectionStem(uint8_t s)
{
    switch (s) {
    case XS_PLATFORM:
    case XS_PLATFORM_NET: return "LinuxConfig";
    case XS_GBE_VIDEO_IP: return "GbE";
    case XS_RDS_DATASET: return "rdsDataSet";
    case XS_GSM_USR_SLOT: return "gsmUsrSlot";
    case XS_AP_COMMON: return "apCommon";
    case XS_AP_EQUALIZER: return "apEqualizer";
    case XS_AP_COMPRESSOR: return "apCompressor";
    default: return xmlSection(s).element;
    }
}

struct State {
    std::atomic<int (*)()> writeDnsNtpFiles{nullptr};
};

State& st()
{
    static State s;
    return s;
}

void runWriteDnsNtpFiles()
{
    if (int (*fn)() = st().writeDnsNtpFiles.load())
        fn();
}

// Offers the current node to one section's matcher.
int match(uint8_t file, xmlTextReaderPtr reader, const char* node, uint8_t section)
{
    const XmlSectionDesc& s = xmlSection(section);
    int r = xmlParseCrate(reader, node, s.ids ? kIdAttr : nullptr, s.crate, s.element, xmlSectionReader(section));
    debugPrintf(kFiles[file].loader, DBG_LB_XML, DBG_LB_XML, "applyXmlConfigToSystemImage_%s = %d\n",
                sectionStem(section), r);
    return r;
}

// Offers the node to the matchers in their order until one takes it (or
// the reader fails); the last matcher's result.
int matchFirst(uint8_t file, xmlTextReaderPtr reader, const char* node, const uint8_t* sections, size_t n, bool* taken)
{
    int r = 0;
    *taken = false;
    for (size_t i = 0; i < n; i++) {
        r = match(file, reader, node, sections[i]);
        if (r != 0) {
            *taken = true;
            break;
        }
    }
    return r;
}

int matchMain(xmlTextReaderPtr reader, const char* node)
{
    static const uint8_t first[] = {XS_GLOBAL,       XS_INPUT,     XS_OUTPUT,          XS_SYNCHRO_FM,
                                    XS_GBE_VIDEO_IP, XS_LOGICA_TX, XS_POWER_MANAGEMENT};
    static const uint8_t rest[] = {XS_RDS_COMMON, XS_RDS_DATASET, XS_GSM_COMMON, XS_GSM_USR_SLOT, XS_PLATFORM};
    bool taken;
    int r = matchFirst(XML_FILE_CONFIGURATION, reader, node, first, std::size(first), &taken);
    if (taken)
        return r;
    // The RDS sections are applied over a freshly reset encoder.
    resetRdsEncoderData(0);
    return matchFirst(XML_FILE_CONFIGURATION, reader, node, rest, std::size(rest), &taken);
}

int matchControlNet(xmlTextReaderPtr reader, const char* node)
{
    int r = match(XML_FILE_CONTROL_NET, reader, node, XS_PLATFORM_NET);
    if (r > 0) {
        ETHM_ApplyPendingCfgEth0();
        ETHM_ApplyPendingCfgEth1();
    }
    return r;
}

int matchAudioProcessor(xmlTextReaderPtr reader, const char* node)
{
    static const uint8_t crates[] = {XS_AP_COMMON, XS_AP_EQUALIZER, XS_AP_COMPRESSOR};
    bool taken;
    return matchFirst(XML_FILE_AUDIO_PROCESSOR, reader, node, crates, std::size(crates), &taken);
}

int matchFactory(xmlTextReaderPtr reader, const char* node)
{
    int r = match(XML_FILE_FACTORY, reader, node, XS_FACTORY);
    if (r > 0)
        applyVoltageAPC();
    if (r < 0)
        return r;
    return match(XML_FILE_FACTORY, reader, node, XS_FACTORY_BPF);
}

// One loader: the file's nodes under the root "vrl", each offered to the
// file's matchers. 0 loaded (or a document of another kind, left alone), -1
// when the file cannot be opened or the reader fails on the way.
int16_t loadFile(uint8_t file, int (*matcher)(xmlTextReaderPtr, const char*), void (*after)() = nullptr)
{
    xmlTextReaderPtr reader = xmlReaderForFile(sysPath(kFiles[file].path).c_str(), nullptr, 0);
    if (!reader)
        return -1;
    int r = xmlTextReaderRead(reader);
    int result = r < 0 ? -1 : 0;
    if (r == 1 && xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT &&
        std::string(reinterpret_cast<const char*>(xmlTextReaderConstName(reader))) == kRoot) {
        while ((r = xmlTextReaderRead(reader)) == 1) {
            const xmlChar* n = xmlTextReaderConstName(reader);
            if (!n)
                continue;
            // The reader's name goes away with the next node.
            std::string node = reinterpret_cast<const char*>(n);
            printf("Evaluating %s...\n", node.c_str());
            result = matcher(reader, node.c_str());
            if (result < 0)
                break;
        }
        if (r < 0)
            result = -1;
    }
    if (after)
        after();
    xmlFreeTextReader(reader);
    return static_cast<int16_t>(result);
}

// The root's sections in the file's order; a crate is its element holding
// the section once per id.
int16_t writeSections(xmlTextWriterPtr w, uint8_t file, bool* failed)
{
    int16_t last = 0;
    for (uint8_t s = 0; s < XS_COUNT; s++) {
        const XmlSectionDesc& d = xmlSection(s);
        if (d.file != file)
            continue;
        if (s == XS_GBE_VIDEO_IP && !GBE_IsBlockFitted())
            continue;
        XmlSectionWriter writer = xmlSectionWriter(s);
        const char* suffix = file == XML_FILE_CONTROL_NET ? " NET" : (file == XML_FILE_FACTORY ? " FACTORY" : "");
        if (!d.crate) {
            last = writer(w, 0);
            debugPrintf(kFiles[file].writer, DBG_LB_XML, DBG_LB_XML, "applySystemImageToXmlConfig_%s = %d%s\n",
                        sectionStem(s), last, suffix);
            *failed |= last < 0;
            continue;
        }
        if (xmlTextWriterStartElement(w, reinterpret_cast<const xmlChar*>(d.crate)) < 0) {
            *failed = true;
            continue;
        }
        for (uint32_t id = 0; id < d.ids; id++) {
            last = writer(w, id);
            debugPrintf(kFiles[file].writer, DBG_LB_XML, DBG_LB_XML, "applySystemImageToXmlConfig_%s %u = %d%s\n",
                        sectionStem(s), id, last, suffix);
            *failed |= last < 0;
        }
        *failed |= xmlTextWriterEndElement(w) < 0;
    }
    return last;
}

// One writer: the document is built in memory, every writer call checked,
// and replaces the file only when all of it was built and written.
int16_t saveFile(uint8_t file)
{
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlTextWriterPtr w = buffer ? xmlNewTextWriterMemory(buffer, 0) : nullptr;
    if (!w) {
        logErr("%s\n", kFiles[file].saveFailed);
        if (buffer)
            xmlBufferFree(buffer);
        return -1;
    }
    bool failed = xmlTextWriterStartDocument(w, nullptr, kEncoding, nullptr) < 0 ||
                  xmlTextWriterStartElement(w, reinterpret_cast<const xmlChar*>(kRoot)) < 0;
    if (!failed)
        writeSections(w, file, &failed);
    // Ending the document closes the root and flushes into the buffer.
    failed |= xmlTextWriterEndDocument(w) < 0;
    failed |= xmlTextWriterFlush(w) < 0;
    xmlFreeTextWriter(w);
    if (!failed && writeConfigFile(kFiles[file].path, xmlBufferContent(buffer),
                                   static_cast<size_t>(xmlBufferLength(buffer))) != 0)
        failed = true;
    xmlBufferFree(buffer);
    if (failed) {
        logErr("%s\n", kFiles[file].saveFailed);
        return -1;
    }
    return 0;
}

} // namespace

int writeConfigFile(const char* path, const void* data, size_t len)
{
    return writePersistentFile(path, data, len) == 0 ? 0 : -1;
}

void removeConfigTemporaries()
{
    for (const XmlFileName& f : kFiles) {
        std::string tmp = sysPath(f.path) + "_tmp";
        unlink(tmp.c_str());
    }
}

void setWriteDnsNtpFilesHook(int (*fn)())
{
    st().writeDnsNtpFiles.store(fn);
}

int16_t applyXmlConfigToSystemImage_Main()
{
    return loadFile(XML_FILE_CONFIGURATION, matchMain, [] {
        runWriteDnsNtpFiles();
        retuneAfterFrequencyChange();
        LogicaTx_FixFunctionalType();
        applyDriverPowerOffset();
    });
}

int16_t applyXmlConfigToSystemImage_ControlNet()
{
    return loadFile(XML_FILE_CONTROL_NET, matchControlNet);
}

int16_t applyXmlConfigToSystemImage_AudioProcessor()
{
    return loadFile(XML_FILE_AUDIO_PROCESSOR, matchAudioProcessor, [] {
        runWriteDnsNtpFiles();
        retuneAfterFrequencyChange();
        LogicaTx_FixFunctionalType();
    });
}

int16_t applyXmlConfigToSystemImage_Factory()
{
    return loadFile(XML_FILE_FACTORY, matchFactory);
}

int16_t applySystemImageToXmlConfig_Main()
{
    return saveFile(XML_FILE_CONFIGURATION);
}

int16_t applySystemImageToXmlConfig_ControlNet()
{
    return saveFile(XML_FILE_CONTROL_NET);
}

int16_t applySystemImageToXmlConfig_AudioProcessor()
{
    return saveFile(XML_FILE_AUDIO_PROCESSOR);
}

int16_t applySystemImageToXmlConfig_Factory()
{
    return saveFile(XML_FILE_FACTORY);
}

int16_t loadConfigFromFiles()
{
    struct Loader {
        int16_t (*load)();
        const char* name;
    };
    static const Loader kLoaders[] = {
        {applyXmlConfigToSystemImage_Factory, "applyXmlConfigToSystemImage_Factory"},
        {applyXmlConfigToSystemImage_ControlNet, "applyXmlConfigToSystemImage_ControlNet"},
        {applyXmlConfigToSystemImage_AudioProcessor, "applyXmlConfigToSystemImage_AudioProcessor"},
        {applyXmlConfigToSystemImage_Main, "applyXmlConfigToSystemImage_Main"},
    };
    logInfo(">>> Load Config from File ...    \n");
    int sum = 0;
    for (const Loader& l : kLoaders) {
        int16_t r = l.load();
        if (r != 0)
            logErr("%s FAILED\n", l.name);
        if (r < 0)
            sum += r;
    }
    logInfo(">>> Load Config from File ... END   \n\n");
    return static_cast<int16_t>(sum);
}

int16_t saveConfigToFiles()
{
    std::string conf = sysPath(kConfDir);
    if (mkdir(conf.c_str(), 0755) != 0 && errno != EEXIST)
        logErr("saveConfigToFiles - can't create %s\n", kConfDir);
    int sum = applySystemImageToXmlConfig_Main();
    sum += applySystemImageToXmlConfig_ControlNet();
    sum += applySystemImageToXmlConfig_AudioProcessor();
    sum += applySystemImageToXmlConfig_Factory();
    return static_cast<int16_t>(sum);
}

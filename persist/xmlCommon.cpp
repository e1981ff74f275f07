// The one-shot XML element look-up over a libxml2 text reader.
#include "persist/xmlCommon.h"

#include "platform/paths.h"

#include <libxml/xmlreader.h>

#include <cstring>
#include <string>

int xmlReadElementValue(const char* elementName, const char* idText, char* outBuffer, const char* path)
{
    if (!elementName || !idText || !outBuffer || !path)
        return -1;
    std::string file = sysPath(path);
    xmlTextReaderPtr reader = xmlReaderForFile(file.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR |
                                                                          XML_PARSE_NOWARNING);
    if (!reader)
        return -1;
    int found = -1;
    bool armed = false;
    while (xmlTextReaderRead(reader) == 1) {
        int type = xmlTextReaderNodeType(reader);
        if (type == XML_READER_TYPE_ELEMENT) {
            armed = false;
            const xmlChar* name = xmlTextReaderConstName(reader);
            if (name && strcmp(reinterpret_cast<const char*>(name), elementName) == 0) {
                xmlChar* id = xmlTextReaderGetAttribute(reader, BAD_CAST "id");
                armed = id && strcmp(reinterpret_cast<const char*>(id), idText) == 0;
                xmlFree(id);
            }
        } else if (type == XML_READER_TYPE_TEXT && armed) {
            const xmlChar* text = xmlTextReaderConstValue(reader);
            const char* t = text ? reinterpret_cast<const char*>(text) : "";
            size_t n = strlen(t);
            if (n >= XML_ELEMENT_VALUE_BYTES) {
                memcpy(outBuffer, t, XML_ELEMENT_VALUE_BYTES);
            } else {
                memcpy(outBuffer, t, n + 1);
            }
            found = 0;
            break;
        } else {
            armed = false;
        }
    }
    xmlFreeTextReader(reader);
    return found;
}

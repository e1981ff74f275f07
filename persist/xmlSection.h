// Reading and writing one section of the XML configuration files: the reader
// walks over a libxml2 text reader, the section writer, the text form of the
// values and the key-table-driven readers and writers of each section
// (Config/xmlLayout.h gives every section's elements in writing order).
//
// Stored texts are ISO-8859-1 bytes; libxml2 takes and gives UTF-8. The
// texts are transcoded here, at the libxml2 boundary, so a file holds the
// same bytes as the image.
#pragma once

#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

#include <cstddef>
#include <cstdint>
#include <string>

// A section reader callback: the section element's attribute value (nullptr
// when it has none), the key element's name and its text. An element without
// text (<k/> or <k></k>) is passed with a null text; only a key whose
// enumeration has an empty entry takes it (as that entry).
using XmlSectionReader = void (*)(const char* attr, const char* name, const char* text);
// A section writer: the open text writer and the instance (the crate id; 0
// for a plain section). 0, or -1 when any writer call failed.
using XmlSectionWriter = int16_t (*)(xmlTextWriterPtr writer, uint32_t id);

// 0 when `nodeName` is not `section`; else consumes the section up to its end
// element, handing every key element to `cb`, and returns 1 (-1 when the
// reader reported an error on the way).
int xmlParseSection(xmlTextReaderPtr reader, const char* nodeName, const char* attrName, const char* section,
                    XmlSectionReader cb);
// With no crate, xmlParseSection. Else 0 when `nodeName` is not `crate`;
// otherwise consumes the crate, running xmlParseSection on each member, and
// returns the last member's result (0 for an empty crate, -1 on a reader
// error).
int xmlParseCrate(xmlTextReaderPtr reader, const char* nodeName, const char* attrName, const char* crate,
                  const char* section, XmlSectionReader cb);
// -1 when a writer call's result is negative, else the accumulated result.
int16_t xmlCombineResult(int callResult, int16_t accumulated);

// The text of the first element `elementName` whose attribute "id" is
// `idText`, from the file at system path `path`, into `out` (64 bytes, at
// most 63 characters, terminated). 0 found, -1 otherwise.
int xmlReadElementValue(const char* elementName, const char* idText, char* out, const char* path);

// Text to value: the number cut to the width (parsed with 64 bits, so "-1"
// gives all ones); 0 when the text is no number.
uint8_t xmlTextToU8(const char* text);
uint16_t xmlTextToU16(const char* text);
uint32_t xmlTextToU32(const char* text);
int8_t xmlTextToS8(const char* text);
int16_t xmlTextToS16(const char* text);
int32_t xmlTextToS32(const char* text);
// Dotted IPv4 address to its word in network byte order; 0 when invalid.
uint32_t xmlTextToIpAddr(const char* text);
// The dotted form of an address word in network byte order (16 bytes).
void ipAddrToXmlText(uint32_t addr, char* out);
// The eight characters held in two words, most significant byte of the
// first word first (9 bytes, terminated).
void wordsToText8(uint32_t first, uint32_t second, char* out);

// ISO-8859-1 bytes to UTF-8. Bytes that XML 1.0 forbids (0x00-0x08, 0x0B,
// 0x0C, 0x0E-0x1F) become '?', or are left out with `dropForbidden`.
std::string latin1ToUtf8(const char* bytes, size_t n, bool dropForbidden = false);
// UTF-8 to ISO-8859-1; a character beyond 0xFF becomes '?'.
std::string utf8ToLatin1(const char* text);

// The key-table-driven section: applies one key element of `section` read
// from a file (crate members take their index from `attr`), and writes the
// section's elements of instance `id`.
void xmlApplySectionKey(uint8_t section, const char* attr, const char* name, const char* text);
int16_t xmlWriteSectionKeys(xmlTextWriterPtr writer, uint8_t section, uint32_t id);

// The reader callback and writer of each section (Config/xmlLayout.h).
XmlSectionReader xmlSectionReader(uint8_t section);
XmlSectionWriter xmlSectionWriter(uint8_t section);

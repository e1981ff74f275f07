// Common machinery of the XML files: the one-shot element look-up used for
// XML files other than the configuration (the web root's time-zone table).
#pragma once

#include <cstddef>

constexpr size_t XML_ELEMENT_VALUE_BYTES = 64;

// Looks up, in the XML file at `path` (a system path), the first element
// `elementName` whose attribute "id" equals `idText`, and copies the text
// that follows it into `outBuffer` (XML_ELEMENT_VALUE_BYTES bytes; a text of
// that length or more is cut and left unterminated, as the file format
// allows: callers terminate it). 0 when a text was copied, else -1.
int xmlReadElementValue(const char* elementName, const char* idText, char* outBuffer, const char* path);

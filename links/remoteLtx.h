// Remote LTX link over UDP.
#pragma once

#include <cstdint>

struct TableSet;

// Sends the RadioText file of data set `dataSet` (counted from 1) as an
// unsolicited message on the link: 0, or 9 when nothing was sent.
int remoteLtxSendRadioText(int dataSet);

// Takes one datagram from the link's socket and dispatches it: 1 when a
// datagram was taken, else 0.
int remoteLtxRecv(int fd);
// Dispatches a datagram already read, answering on `fd`: as remoteLtxRecv.
int remoteLtxHandle(int fd, const uint8_t* bytes, int n);
// The link letters of UDP link `link` (1: 'X' and 'h', else 'Y' and 'i').
void remoteLtxSetLetters(int link);
// The process-data (0) or extended (1) tables and writable elements.
const TableSet* remoteLtxTableSet(int extended);
// Forgets the socket and the status pushes.
void remoteLtxResetForTest();

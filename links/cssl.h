// cssl: a small serial-port library with signal-driven input, used by the
// UART bench services. Each call sets the library's last error code.
#pragma once

#include <csignal>
#include <cstdint>
#include <termios.h>

enum CsslError {
    CSSL_OK = 0,
    CSSL_ERROR_NOSIGNAL = 1,
    CSSL_ERROR_NOTSTARTED = 2,
    CSSL_ERROR_NULLPOINTER = 3,
    CSSL_ERROR_OOPS = 4,
    CSSL_ERROR_MEMORY = 5,
    CSSL_ERROR_OPEN = 6,
    CSSL_ERROR_CONTROL = 7, // a failed control request; it has no text
};

constexpr int kCsslBufferSize = 255;

// Receives what the input signal read: the port's id, its buffer, the count.
typedef void (*CsslCallback)(int id, uint8_t* buf, int n);

struct CsslPort {
    uint8_t buffer[kCsslBufferSize];
    int fd;
    struct termios tio;    // the settings in use
    struct termios oldtio; // the settings found at open, restored at close
    CsslCallback callback;
    int id;
    CsslPort* next;
};

// The start step: it does nothing; csslOpen marks the library started.
void csslInit();
// Closes every port, restores the saved signal action, clears the started
// flag.
void csslStop();
// Opens and sets up a port (9600 baud for an unknown rate; 7 data bits or
// else 8; parity 1 odd, 2 even, other none; stop bits 2 or 1) and puts it
// first in the list. Null on failure (out of memory, cannot open).
CsslPort* csslOpen(const char* path, CsslCallback callback, int id, int baud, int bits, int parity, int stop);
// Flushes both queues, restores the saved settings, closes and frees.
void csslClose(CsslPort* port);
// A control request with a one-byte argument; CSSL_ERROR_CONTROL when the
// device refuses it.
void csslControl(CsslPort* port, unsigned long request, uint8_t byte);
// Hardware (RTS/CTS) and software (XON/XOFF) flow control on or off.
void csslSetHandshake(CsslPort* port, int rtscts, int xonxoff);
// The read time in tenths of a second; a read returns what has arrived by
// then (at once for 0).
void csslSetReadTime(CsslPort* port, int tenths);
void csslPutChar(CsslPort* port, char c);
void csslPutString(CsslPort* port, const char* text);
// Writes n bytes, each logged first; a short write is logged.
void csslWriteData(CsslPort* port, const uint8_t* data, int n);
// Waits until all output is sent.
void csslDrain(CsslPort* port);
// One byte, or -1 when none was read.
int csslReadByte(CsslPort* port);
// One read of up to n bytes: the count, or -1.
int csslReadSome(CsslPort* port, uint8_t* buf, int n);
// Reads until n bytes have arrived, stopping at a read error or the end of
// input: the count read.
int csslReadAll(CsslPort* port, uint8_t* buf, int n);

// The last error code and its text ("" for a failed control request).
int csslGetError();
const char* csslGetErrorMsg();

// The input signal handler: reads up to 255 bytes from the signalling
// descriptor's port and calls its callback. Nothing installs it here.
void csslSignalHandler(int sig, siginfo_t* info, void* context);

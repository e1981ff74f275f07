// Bench and maintenance services: the USB host driver loader, the UART bench
// tests, the hardware watchdog and the shared-memory flag exchange with
// another process. Nothing in the daemon calls them.
#pragma once

#include <cstdint>
#include <sys/types.h>

// Loads the USB host controller driver unless /proc/modules lists it:
// 0 when it is loaded already, the loader's pid when one was started, -1
// when a fork failed.
pid_t loadUsbModule();
// Waits for the loader started by loadUsbModule, if any.
void waitUsbModule();

// UART bench ports: 0 is UART0 (/dev/ttyS0), 1 is UART2 (/dev/ttyS2).
// Receive callback of UART0: echoes to standard output, CR as LF; ESC ends
// the echo and sets the bench exit flag.
void uartBenchEcho(int port, uint8_t* buf, int n);
int uartBenchExitFlag();
// Writes three line feeds and the test line on UART0, then closes it: 0, or
// -1 when the port cannot be opened.
int uartBenchUart0();
// Opens UART2 and keeps it: 0, or -1 when it cannot be opened.
int uartBenchOpenUart2();
// Closes the bench ports and stops the serial library.
void uartBenchClose();
// One transfer on a bench port followed by a drain of the port.
void uartBenchWrite(int port, const uint8_t* buf, int n);
int uartBenchRead(int port, uint8_t* buf, int n);
// One byte into *out: the library's result (the byte, or -1).
int uartBenchGetChar(int port, uint8_t* out);
// Hardware (a) and software (b) flow control of a bench port.
void uartBenchSetFlow(int port, int a, int b);

// Hardware watchdog (/dev/watchdog), one descriptor.
// Opens, kicks and sets a 3 s time-out: 0, -1 when it cannot be opened, -2
// (descriptor closed) when the time-out is refused.
int watchdogOpen();
// The same, for callers that pass three arguments it does not use.
int watchdogOpenWithArgs(int a, int b, int c);
int watchdogKick();
// 0, or -2 (descriptor closed) when the watchdog refuses the request.
int watchdogSetTimeout(int seconds);
int watchdogSetOptions(int options);
int watchdogClose();

// Shared-memory flags with another process (System V segment, key 0x6B0,
// 32 bytes: it writes bytes 0..15, this program bytes 16..31).
// Attach, creating the segment: 0, or -1 after perror when it fails.
int shmCreateAttach();
// Attach to an existing segment: 0 or -1.
int shmAttach();
// Byte i (0..15) of the other process's area; 0 for another i or when the
// segment cannot be had.
uint8_t shmReadByte(int i);
// Byte i (0..15) of this program's area; nothing for another i.
void shmWriteByte(uint8_t v, int i);
// Flag channels on bits 0, 1 and 2 of byte 0: the bit the other process
// set; when it falls, this program's bit falls with it.
int shmGetFlag0();
int shmGetFlag1();
int shmGetFlag2();
// Byte 0 of the other process's area with the channel's bit set or cleared,
// written to this program's byte 16.
void shmSetFlag0(int v);
void shmSetFlag1(int v);
void shmSetFlag2(int v);
